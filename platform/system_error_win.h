// The system's own words for an error code: one home for turning a code
// into text.
#pragma once

#include <windows.h>

#include <string>

namespace platform {

// Text of the system's message for `code`, as the system gives it (with its
// line break); false when the system has no text for the code.
bool SystemErrorText(DWORD code, std::string& text);

}  // namespace platform
