#include "ovpack/pe_image.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t Read32(const std::string& bytes, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

uint16_t Read16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 static_cast<unsigned char>(bytes[at + 1]) << 8);
}

void Write32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

constexpr uint16_t kPe32Magic = 0x10b;
constexpr uint16_t kPe32PlusMagic = 0x20b;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kSecurityDirectory = 4;

}  // namespace

bool PeImage::Parse(const std::string& bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
    uint32_t header = Read32(bytes, 0x3c);
    if (header > bytes.size() || bytes.size() - header < 24 ||
        std::memcmp(bytes.data() + header, "PE\0\0", 4) != 0)
        return false;
    uint32_t fileHeader = header + 4;
    sectionCount_ = Read16(bytes, fileHeader + 2);
    uint16_t optionalSize = Read16(bytes, fileHeader + 16);
    uint32_t optional = fileHeader + 20;
    if (bytes.size() - optional < optionalSize || optionalSize < 2) return false;
    uint16_t magic = Read16(bytes, optional);
    // The data directories follow the fields that differ between the two forms.
    uint32_t directories;
    uint32_t directoryCountAt;
    if (magic == kPe32Magic) {
        directories = optional + 96;
        directoryCountAt = optional + 92;
    } else if (magic == kPe32PlusMagic) {
        directories = optional + 112;
        directoryCountAt = optional + 108;
    } else {
        return false;
    }
    if (directoryCountAt + 4 > optional + optionalSize) return false;
    checksumOffset_ = optional + 64;
    uint32_t directoryCount = Read32(bytes, directoryCountAt);
    signatureSize_ = 0;
    if (directoryCount > kSecurityDirectory &&
        directories + 8 * (kSecurityDirectory + 1) <= optional + optionalSize) {
        signatureSize_ = Read32(bytes, directories + 8 * kSecurityDirectory + 4);
    }
    sectionTable_ = optional + optionalSize;
    if (bytes.size() - sectionTable_ < static_cast<size_t>(sectionCount_) * kSectionHeaderSize)
        return false;
    return true;
}

bool PeImage::FindSection(const std::string& bytes, const char* name, PeSection& section) const {
    char wanted[8] = {};
    std::memcpy(wanted, name, std::min(std::strlen(name), sizeof wanted));
    for (uint16_t i = 0; i < sectionCount_; ++i) {
        size_t header = sectionTable_ + static_cast<size_t>(i) * kSectionHeaderSize;
        if (std::memcmp(bytes.data() + header, wanted, sizeof wanted) != 0) continue;
        section.virtualSize = Read32(bytes, header + 8);
        section.fileSize = Read32(bytes, header + 16);
        section.fileOffset = Read32(bytes, header + 20);
        return section.fileOffset <= bytes.size() &&
               section.fileSize <= bytes.size() - section.fileOffset;
    }
    return false;
}

void PeImage::UpdateChecksum(std::string& bytes) const {
    if (Read32(bytes, checksumOffset_) == 0) return;
    // The image checksum: 16-bit words summed with the carries folded back,
    // the checksum field itself counted as zero, plus the file's length.
    uint64_t sum = 0;
    for (size_t at = 0; at < bytes.size(); at += 2) {
        if (at >= checksumOffset_ && at < checksumOffset_ + 4) continue;
        uint32_t word = static_cast<unsigned char>(bytes[at]);
        if (at + 1 < bytes.size())
            word |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
        sum += word;
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    Write32(bytes, checksumOffset_, static_cast<uint32_t>(sum + bytes.size()));
}
