// Whether this program is a release build: configured with
// -DRIZEZUVU_RELEASE=ON, it runs only a package it was sealed for (see
// COVUpgradeApp::RunUpgrade). Defined in release_build.cpp, compiled with
// its own value into each build of the program (cmake/windows.cmake), so
// that the default build and the release variant differ in nothing else.
#pragma once

extern const bool kReleaseBuild;
