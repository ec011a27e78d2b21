// The numbers of error_codes.h are the system's own.
#include <windows.h>

#include "platform/error_codes.h"

static_assert(error_code::kInvalidFunction == ERROR_INVALID_FUNCTION, "");
static_assert(error_code::kFileNotFound == ERROR_FILE_NOT_FOUND, "");
static_assert(error_code::kPathNotFound == ERROR_PATH_NOT_FOUND, "");
static_assert(error_code::kAccessDenied == ERROR_ACCESS_DENIED, "");
static_assert(error_code::kInvalidData == ERROR_INVALID_DATA, "");
static_assert(error_code::kSharingViolation == ERROR_SHARING_VIOLATION, "");
static_assert(error_code::kFileExists == ERROR_FILE_EXISTS, "");
static_assert(error_code::kDiskFull == ERROR_DISK_FULL, "");
static_assert(error_code::kDirNotEmpty == ERROR_DIR_NOT_EMPTY, "");
static_assert(error_code::kAlreadyExists == ERROR_ALREADY_EXISTS, "");
static_assert(error_code::kFilenameExcedRange == ERROR_FILENAME_EXCED_RANGE, "");
static_assert(error_code::kCantAccessFile == ERROR_CANT_ACCESS_FILE, "");
