// SHA-256 (FIPS 180-4): what a sealed package's files are checked by. Pure
// logic, no system calls; on a processor with the SHA extensions the block
// function uses them (ten times faster, so that a copy that hashes as it
// goes costs about as much as one that does not).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<unsigned char, 32>;

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    // The digest of everything given; the object starts over afterwards.
    Sha256Digest Finish();

    static Sha256Digest Of(const void* data, size_t size);
    static Sha256Digest Of(const std::string& bytes) { return Of(bytes.data(), bytes.size()); }

private:
    void Reset();
    std::array<uint32_t, 8> state_;
    unsigned char block_[64];
    size_t blockUsed_ = 0;
    uint64_t totalBytes_ = 0;
};

// Lower-case hexadecimal, 64 characters.
std::string DigestHex(const Sha256Digest& digest);
// False unless `hex` is 64 hexadecimal digits (either case).
bool ParseDigestHex(const std::string& hex, Sha256Digest& digest);
