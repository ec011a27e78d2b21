#include "platform/sha256.h"

#include <algorithm>
#include <cstring>

// RIZEZUVU_SHA256_PORTABLE_ONLY leaves the extensions out: the tests build
// the hash so once, to run the portable block function on any processor.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(RIZEZUVU_SHA256_PORTABLE_ONLY)
#include <cpuid.h>
#include <immintrin.h>
#define RIZEZUVU_SHA_EXTENSIONS 1
#endif

namespace {

constexpr uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

inline uint32_t Rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void PortableBlocks(uint32_t* state, const unsigned char* data, size_t blocks) {
    for (; blocks > 0; --blocks, data += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            w[i] = static_cast<uint32_t>(data[4 * i]) << 24 |
                   static_cast<uint32_t>(data[4 * i + 1]) << 16 |
                   static_cast<uint32_t>(data[4 * i + 2]) << 8 | data[4 * i + 3];
        }
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) +
                          ((e & f) ^ (~e & g)) + kRoundConstants[i] + w[i];
            uint32_t t2 =
                (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef RIZEZUVU_SHA_EXTENSIONS
// The SHA extensions' block function, after the pattern of Intel's
// published example: four rounds per sha256rnds2 pair, the message schedule
// by sha256msg1/msg2.
__attribute__((target("sha,sse4.1"))) void ExtensionBlocks(uint32_t* state,
                                                           const unsigned char* data,
                                                           size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    tmp = _mm_shuffle_epi32(tmp, 0xB1);                // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B);          // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);  // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);       // CDGH

    for (; blocks > 0; --blocks, data += 64) {
        __m128i abefSave = state0;
        __m128i cdghSave = state1;
        __m128i msgs[4];
        for (int i = 0; i < 4; ++i) {
            msgs[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
        }
        for (int group = 0; group < 16; ++group) {
            __m128i& current = msgs[group & 3];
            __m128i msg = _mm_add_epi32(
                current,
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * group])));
            state1 = _mm_sha256rnds2_epu32(state1, state0, msg);
            msg = _mm_shuffle_epi32(msg, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, msg);
            // The schedule for four groups ahead, from this one and the three after it.
            if (group < 12) {
                __m128i& next = msgs[(group + 1) & 3];
                __m128i& third = msgs[(group + 3) & 3];
                // W[t..t+3] of group+4 = msg2(msg1(W0, W1) + alignr(W3, W2), W3)
                __m128i scheduled = _mm_sha256msg1_epu32(current, next);
                scheduled =
                    _mm_add_epi32(scheduled, _mm_alignr_epi8(third, msgs[(group + 2) & 3], 4));
                current = _mm_sha256msg2_epu32(scheduled, third);
            }
        }
        state0 = _mm_add_epi32(state0, abefSave);
        state1 = _mm_add_epi32(state1, cdghSave);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B);        // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1);     // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);  // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8);     // ABEF -> HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), state1);
}

bool ProcessorHasExtensions() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    bool ssse3AndSse41 = (c & bit_SSSE3) && (c & bit_SSE4_1);
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return ssse3AndSse41 && (b & (1u << 29)) != 0;  // EBX bit 29: SHA
}
#endif

using BlockFunction = void (*)(uint32_t*, const unsigned char*, size_t);

BlockFunction ChooseBlocks() {
#ifdef RIZEZUVU_SHA_EXTENSIONS
    if (ProcessorHasExtensions()) return &ExtensionBlocks;
#endif
    return &PortableBlocks;
}

const BlockFunction g_blocks = ChooseBlocks();

}  // namespace

Sha256::Sha256() { Reset(); }

void Sha256::Reset() {
    std::memcpy(state_.data(), kInitialState, sizeof kInitialState);
    blockUsed_ = 0;
    totalBytes_ = 0;
}

void Sha256::Update(const void* data, size_t size) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    totalBytes_ += size;
    if (blockUsed_ > 0) {
        size_t take = std::min(size, sizeof block_ - blockUsed_);
        std::memcpy(block_ + blockUsed_, bytes, take);
        blockUsed_ += take;
        bytes += take;
        size -= take;
        if (blockUsed_ < sizeof block_) return;
        g_blocks(state_.data(), block_, 1);
        blockUsed_ = 0;
    }
    if (size >= 64) {
        g_blocks(state_.data(), bytes, size / 64);
        bytes += size / 64 * 64;
        size %= 64;
    }
    if (size > 0) {
        std::memcpy(block_, bytes, size);
        blockUsed_ = size;
    }
}

Sha256Digest Sha256::Finish() {
    uint64_t bits = totalBytes_ * 8;
    unsigned char padding[72] = {0x80};
    size_t padSize = (blockUsed_ < 56 ? 56 : 120) - blockUsed_;
    for (int i = 0; i < 8; ++i)
        padding[padSize + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Update(padding, padSize + 8);
    Sha256Digest digest;
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<unsigned char>(state_[i] >> (24 - 8 * j));
    }
    Reset();
    return digest;
}

Sha256Digest Sha256::Of(const void* data, size_t size) {
    Sha256 hash;
    hash.Update(data, size);
    return hash.Finish();
}

std::string DigestHex(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

bool ParseDigestHex(const std::string& hex, Sha256Digest& digest) {
    if (hex.size() != 64) return false;
    for (size_t i = 0; i < 32; ++i) {
        int value = 0;
        for (size_t j = 0; j < 2; ++j) {
            char c = hex[2 * i + j];
            int nibble = c >= '0' && c <= '9'   ? c - '0'
                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                : -1;
            if (nibble < 0) return false;
            value = value * 16 + nibble;
        }
        digest[i] = static_cast<unsigned char>(value);
    }
    return true;
}
