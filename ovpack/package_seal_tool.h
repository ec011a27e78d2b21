// ovpack's side of sealed packages (config/package_seal.h): `ovpack seal`
// writes the manifest and the seal into the package's RIZezuvu.exe, and
// `ovpack check` verifies a sealed package against them. Works on the
// package folder through std::filesystem, natively and on Windows.
#pragma once

#include <string>
#include <vector>

#include "ovpack/package_check.h"

// The package file named `name` (relative, backslashes), found without
// regard to case as Windows would; empty when the package has none.
// `files` is the package's list (PackageContents::files).
std::string FindPackageFile(const std::vector<std::string>& files, const std::string& name);

// Seals the package in `packageFolder` (its files listed in `files`).
// Writes what it did, or why it refused, to `message`. Answers the exit
// status: 0 sealed, 2 refused (nothing written then).
int SealPackage(const std::string& packageFolder, const std::vector<std::string>& files,
                std::string& message);

// Adds what `ovpack check` finds about the seal: a sealed package that
// changed since (errors naming each file), one that is not sealed (a
// warning). Nothing when the package holds no RIZezuvu.exe yet.
void CheckPackageSeal(const std::string& packageFolder, const PackageContents& package,
                      CheckReport& report);
