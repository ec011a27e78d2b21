#include "config/package_seal.h"

#include <cstring>

#include "platform/path_rules.h"
#include "platform/text_rules.h"

namespace {

// A listed name is one the plan could have resolved: inside the package
// folder by the path rules, with every "." and ".." already resolved.
bool IsListableName(const std::string& name) {
    if (!IsContainedRelativePath(name, nullptr) || !IsPlainRelativePath(name, nullptr))
        return false;
    for (const std::string& component : SplitPathComponents(name, nullptr)) {
        if (component == "." || component == "..") return false;
    }
    return true;
}

bool ParseSize(const std::string& text, unsigned long long& size) {
    if (text.empty() || text.size() > 19) return false;
    size = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        size = size * 10 + static_cast<unsigned long long>(c - '0');
    }
    return true;
}

}  // namespace

bool PackageManifest::Parse(const std::string& text) {
    files_.clear();
    byFoldedName_.clear();
    size_t position = 0;
    bool headerSeen = false;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!headerSeen) {
            if (line != kManifestHeader) break;
            headerSeen = true;
            continue;
        }
        // "<digest> <size> <name>"; the name is the rest of the line.
        size_t firstSpace = line.find(' ');
        size_t secondSpace =
            firstSpace == std::string::npos ? firstSpace : line.find(' ', firstSpace + 1);
        SealedFile file;
        if (secondSpace == std::string::npos ||
            !ParseDigestHex(line.substr(0, firstSpace), file.digest) ||
            !ParseSize(line.substr(firstSpace + 1, secondSpace - firstSpace - 1), file.size)) {
            headerSeen = false;
            break;
        }
        file.name = line.substr(secondSpace + 1);
        if (!IsListableName(file.name) || !Add(file)) {
            headerSeen = false;
            break;
        }
    }
    if (!headerSeen) {
        files_.clear();
        byFoldedName_.clear();
    }
    return headerSeen;
}

std::string PackageManifest::Format() const {
    std::string text = std::string(kManifestHeader) + "\r\n";
    for (const SealedFile& file : files_) {
        text += DigestHex(file.digest) + " " + std::to_string(file.size) + " " + file.name + "\r\n";
    }
    return text;
}

bool PackageManifest::Add(const SealedFile& file) {
    if (!byFoldedName_.emplace(FoldedName(file.name), files_.size()).second) return false;
    files_.push_back(file);
    return true;
}

const SealedFile* PackageManifest::Find(const std::string& name) const {
    auto found = byFoldedName_.find(FoldedName(name));
    return found == byFoldedName_.end() ? nullptr : &files_[found->second];
}

SealState ReadSeal(const unsigned char* section, PackageSeal& seal) {
    bool allZero = true;
    for (size_t i = 0; i < kSealBytes; ++i) allZero = allZero && section[i] == 0;
    if (allZero) return SealState::kUnsealed;
    constexpr size_t kMagicBytes = sizeof kSealMagic;
    if (std::memcmp(section, kSealMagic, kMagicBytes) != 0) return SealState::kDamaged;
    const unsigned char* digests = section + kMagicBytes;
    std::memcpy(seal.config.data(), digests, seal.config.size());
    std::memcpy(seal.manifest.data(), digests + seal.config.size(), seal.manifest.size());
    // What follows the digests stays zero: anything else is not a seal.
    for (size_t i = kMagicBytes + 2 * sizeof(Sha256Digest); i < kSealBytes; ++i) {
        if (section[i] != 0) return SealState::kDamaged;
    }
    return SealState::kSealed;
}

void WriteSeal(const PackageSeal& seal, unsigned char* section) {
    std::memset(section, 0, kSealBytes);
    std::memcpy(section, kSealMagic, sizeof kSealMagic);
    unsigned char* digests = section + sizeof kSealMagic;
    std::memcpy(digests, seal.config.data(), seal.config.size());
    std::memcpy(digests + seal.config.size(), seal.manifest.data(), seal.manifest.size());
}

std::string ManifestNameOf(const std::string& source, const std::string& sourceBase) {
    if (source.size() <= sourceBase.size() || source.compare(0, sourceBase.size(), sourceBase) != 0)
        return std::string();
    return source.substr(sourceBase.size());
}

bool SealedFileCheck::Add(const void* data, size_t size) {
    bytes_ += size;
    if (bytes_ > expected_.size) return false;
    hash_.Update(data, size);
    return true;
}

bool SealedFileCheck::Matches() {
    return bytes_ == expected_.size && hash_.Finish() == expected_.digest;
}

const SealedFile* SealedPackage::Find(const std::string& source) const {
    std::string name = ManifestNameOf(source, sourceBase);
    return name.empty() ? nullptr : manifest.Find(name);
}
