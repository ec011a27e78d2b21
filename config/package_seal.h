// A sealed package: what the vendor shipped, fixed before the program is
// signed. The manifest lists every package file that a File element names,
// with its size and SHA-256; the seal, in a reserved section of
// RIZezuvu.exe that the Authenticode signature covers, holds the SHA-256 of
// OVConfig.xml and of the manifest. The program checks all of it against
// the seal before it uses the configuration or copies a byte; `ovpack seal`
// writes it, `ovpack check` verifies it. Pure logic, no system calls.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/package_names.h"
#include "platform/sha256.h"

// The manifest (kManifestFileName), beside OVConfig.xml, starts with this line.
constexpr char kManifestHeader[] = "RIZezuvu manifest 1";
// No package comes near this; a larger file is not a manifest.
constexpr size_t kManifestMaxBytes = 16 * 1024 * 1024;

// The executable section the seal lives in, and its size: the build
// reserves it zeroed (config/seal_section_win.cpp), `ovpack seal` fills it.
constexpr char kSealSectionName[] = ".ovseal";
constexpr size_t kSealBytes = 128;
// The seal's first bytes; the rest of the section is the two digests and zeros.
constexpr char kSealMagic[] = "RIZezuvu seal 1";  // 16 bytes with its NUL
static_assert(sizeof kSealMagic + 2 * sizeof(Sha256Digest) <= kSealBytes, "the seal fits");

struct SealedFile {
    std::string name;  // relative to the package folder, backslashes, as the plan resolves it
    unsigned long long size = 0;
    Sha256Digest digest{};
};

class PackageManifest {
public:
    // The whole text or nothing: false (and the manifest left empty) at the
    // first line that is not "<64 hex digits> <size> <name>", at a name
    // that appears twice (without regard to case) or an unsafe one.
    bool Parse(const std::string& text);
    std::string Format() const;
    // False when a file of that name (without regard to case) is listed.
    bool Add(const SealedFile& file);
    // The file listed under `name`, compared without regard to ASCII case
    // (the names are Windows file names); null when it is not listed.
    const SealedFile* Find(const std::string& name) const;
    const std::vector<SealedFile>& Files() const { return files_; }

private:
    std::vector<SealedFile> files_;
    std::unordered_map<std::string, size_t> byFoldedName_;
};

struct PackageSeal {
    Sha256Digest config{};    // of OVConfig.xml's bytes
    Sha256Digest manifest{};  // of the manifest's bytes
};

enum class SealState {
    kUnsealed,  // all zeros: the package was not sealed; it runs as any other
    kSealed,
    kDamaged,  // neither: the program refuses it
};

// Reads the `kSealBytes` bytes of the section.
SealState ReadSeal(const unsigned char* section, PackageSeal& seal);
// Fills `section` (kSealBytes bytes).
void WriteSeal(const PackageSeal& seal, unsigned char* section);

// Follows the bytes of one file as they are read, in order, and tells
// whether they are the sealed ones.
class SealedFileCheck {
public:
    explicit SealedFileCheck(const SealedFile& expected) : expected_(expected) {}
    // False as soon as more bytes came than were sealed.
    bool Add(const void* data, size_t size);
    // At the end: every byte came, and they are the sealed ones.
    bool Matches();

private:
    const SealedFile& expected_;
    Sha256 hash_;
    unsigned long long bytes_ = 0;
};

// The name a copy's full `source` path has in the manifest: its path under
// the package folder `sourceBase` (a plan base), as the plan resolved it.
// Empty when it does not lie under `sourceBase`.
std::string ManifestNameOf(const std::string& source, const std::string& sourceBase);

// A sealed package as the program holds it: the manifest, checked against
// the seal, and the package folder as a plan base, where the copies'
// sources lie.
struct SealedPackage {
    PackageManifest manifest;
    std::string sourceBase;
    // The manifest's entry for the file at the full path `source`; null
    // when the path is not under sourceBase or not listed.
    const SealedFile* Find(const std::string& source) const;
};

// The log lines of a refused sealed package; each takes the file's name.
// A file that is missing, changed or not listed does not match the seal
// (ERROR_INVALID_DATA); one that is there but can't be read (another
// program holds it) keeps the system's code.
constexpr char kSealChangedLine[] = "Package seal: %s is not the file this package was sealed with";
constexpr char kSealUnlistedLine[] = "Package seal: %s is not in the package's manifest";
constexpr char kSealMissingLine[] = "Package seal: %s is missing from the package";
constexpr char kSealUnreadableLine[] = "Package seal: %s can't be read";
// The refusal of a release build (RIZEZUVU_RELEASE) that carries no seal.
constexpr char kSealRequiredLine[] =
    "Package seal: this release of RIZezuvu.exe runs only a sealed package, and it carries no seal";
