// The system's error codes that pure code answers with or looks for, by
// number: pure files include no system header, and the journal's fake file
// system answers with the very codes Windows does. One home for them; a
// Windows file checks each against <windows.h> (error_codes_win.cpp).
#pragma once

namespace error_code {

constexpr unsigned long kInvalidFunction = 1;       // ERROR_INVALID_FUNCTION
constexpr unsigned long kFileNotFound = 2;          // ERROR_FILE_NOT_FOUND
constexpr unsigned long kPathNotFound = 3;          // ERROR_PATH_NOT_FOUND
constexpr unsigned long kAccessDenied = 5;          // ERROR_ACCESS_DENIED
constexpr unsigned long kInvalidData = 13;          // ERROR_INVALID_DATA
constexpr unsigned long kSharingViolation = 32;     // ERROR_SHARING_VIOLATION
constexpr unsigned long kFileExists = 80;           // ERROR_FILE_EXISTS
constexpr unsigned long kDiskFull = 112;            // ERROR_DISK_FULL
constexpr unsigned long kDirNotEmpty = 145;         // ERROR_DIR_NOT_EMPTY
constexpr unsigned long kAlreadyExists = 183;       // ERROR_ALREADY_EXISTS
constexpr unsigned long kFilenameExcedRange = 206;  // ERROR_FILENAME_EXCED_RANGE
constexpr unsigned long kCantAccessFile = 1920;     // ERROR_CANT_ACCESS_FILE

}  // namespace error_code
