// One home for checking a sealed package's files against the seal as they
// are read: the check of every file before the user is asked, and the check
// of each copy's bytes as the journal writes them. It finds the file's
// entry in the manifest, follows its bytes, writes the refusal's line to the
// log and sets the code: ERROR_INVALID_DATA for a file that is not listed,
// was changed or is missing (it does not match the seal).
#pragma once

#include <optional>
#include <string>

#include "config/package_seal.h"

class SealedReading {
public:
    explicit SealedReading(const SealedPackage& package) : package_(package) {}
    SealedReading(const SealedReading&) = delete;
    SealedReading& operator=(const SealedReading&) = delete;

    // Before `source` is read. False (logged) when the manifest does not list it.
    bool Begin(const std::string& source);
    // Each chunk as it is read, and `data` null after the last. False
    // (logged) as soon as the bytes can no longer be the sealed ones.
    bool Chunk(const char* data, unsigned long bytes);
    // After the read of `source` failed with the last error: a source that
    // is not there is logged as missing (ERROR_INVALID_DATA); with
    // `logUnreadable`, any other code of its own is logged as a file that
    // can't be read. A refusal already logged is left as it is.
    void Failed(const std::string& source, bool logUnreadable);

private:
    const SealedPackage& package_;
    std::optional<SealedFileCheck> check_;
    std::string name_;     // the file's name in the manifest
    bool logged_ = false;  // this file's refusal is in the log
};
