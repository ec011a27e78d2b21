#include "app/release_build.h"

// The build defines it for each program it links: 1 for a release, 0 otherwise.
#ifndef RIZEZUVU_RELEASE_BUILD
#error "RIZEZUVU_RELEASE_BUILD is set by the build (cmake/windows.cmake)"
#endif

const bool kReleaseBuild = RIZEZUVU_RELEASE_BUILD != 0;
