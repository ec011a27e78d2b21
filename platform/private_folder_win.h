// A folder that only administrators and the system may use, for what an
// elevated program keeps while it changes a folder that others may write to.
#pragma once

#include <string>

namespace platform {

// Creates the folder `path`, failing as CreateFolderAt does when something
// is there already (ERROR_ALREADY_EXISTS), with a protected access list
// (nothing inherited from its parent):
//   * the folder itself, and every sub-folder later created in it, grant
//     full control to BUILTIN\Administrators and SYSTEM and to no one else;
//   * a file created in it, or in one of those sub-folders, gets the entries
//     that a file created in the folder `inheritFrom` would get: a file made
//     here and renamed there carries the access that folder gives its files
//     (a rename keeps a file's security).
// The owner is the one the system gives new folders. Fails, creating
// nothing, when `inheritFrom`'s access list can't be read.
bool CreatePrivateFolderAt(const std::string& path, const std::string& inheritFrom);

}  // namespace platform
