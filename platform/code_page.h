// The ANSI code page in which the program handles every path and text.
#pragma once

namespace platform {

// Tells whether `c` starts a double-byte character of the ANSI code page.
bool IsAnsiLeadByte(unsigned char c);

// True when the running executable's path survives the ANSI code page in
// which the program handles every path; false, with
// ERROR_NO_UNICODE_TRANSLATION, when a character of it has no place there
// (a folder named in another script): nothing beside the program could be
// found by its ANSI name.
bool ModulePathFitsAnsiCodePage();

}  // namespace platform
