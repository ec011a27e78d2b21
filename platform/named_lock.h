// The names of the run lock (platform/named_lock_win.h holds it). Pure logic.
#pragma once

#include <string>

// The name of the lock that lets one run at a time update the installation
// in `installFolder`, whatever the case or the separators it is spelled with.
std::string InstallationLockName(const std::string& installFolder);
