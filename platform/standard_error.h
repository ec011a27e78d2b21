// The process's standard error: a program started by a script or a
// deployment system that collects its output has one, even without a
// console; one started from the desktop has none.
#pragma once

#include <string>

namespace platform {

// Writes `text` as it stands to the standard error handle the process was
// given. False when it has none (ERROR_INVALID_HANDLE) or the write failed,
// with the system's code left.
bool WriteStandardError(const std::string& text);

}  // namespace platform
