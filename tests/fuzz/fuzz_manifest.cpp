// libFuzzer target: a sealed package's manifest is read by an elevated
// program before its seal digest is known to match, so any bytes must parse
// safely; whatever parses lists only safe relative names, each once, and
// reads back the same after it is written out.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/package_seal.h"
#include "platform/path_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    PackageManifest manifest;
    if (!manifest.Parse(text)) {
        if (!manifest.Files().empty()) std::abort();
        return 0;
    }
    for (const SealedFile& file : manifest.Files()) {
        if (!IsContainedRelativePath(file.name, nullptr)) std::abort();
        if (manifest.Find(file.name) != &file) std::abort();
    }
    PackageManifest again;
    if (!again.Parse(manifest.Format()) || again.Format() != manifest.Format()) std::abort();
    return 0;
}
