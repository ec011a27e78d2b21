// The sample update package that `ovpack init` writes and the demonstration
// runs: every message key, a default entry, and a product entry with a
// Firmware group, with their files.
#pragma once

#include <string>
#include <vector>

struct SampleFile {
    const char* path;  // relative to the package folder, with '/'
    std::string bytes;
};

std::vector<SampleFile> SamplePackageFiles();
