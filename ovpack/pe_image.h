// What ovpack needs of a Windows executable's layout (PE/COFF): where a
// named section's bytes lie in the file, whether the file carries an
// Authenticode signature, and its header checksum. Reads and edits bytes in
// memory; every offset is checked against the file's size.
#pragma once

#include <cstdint>
#include <string>

struct PeSection {
    uint32_t fileOffset = 0;  // PointerToRawData
    uint32_t fileSize = 0;    // SizeOfRawData
    uint32_t virtualSize = 0;
};

class PeImage {
public:
    // False when `bytes` is not a PE image this reader understands.
    bool Parse(const std::string& bytes);
    // False when there is no section of that name (up to 8 characters).
    bool FindSection(const std::string& bytes, const char* name, PeSection& section) const;
    // True when the security directory names a signature.
    bool IsSigned() const { return signatureSize_ != 0; }
    // Sets the header checksum to what the bytes now hold, when the image
    // has one (a zero checksum stays zero: nothing checks it then).
    void UpdateChecksum(std::string& bytes) const;

private:
    uint32_t sectionTable_ = 0;
    uint16_t sectionCount_ = 0;
    uint32_t checksumOffset_ = 0;
    uint32_t signatureSize_ = 0;
};
