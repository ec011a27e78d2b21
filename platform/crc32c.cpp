#include "platform/crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <nmmintrin.h>
#define RIZEZUVU_CRC_INSTRUCTION 1
#endif

namespace {

// The reflected Castagnoli polynomial.
constexpr uint32_t kPolynomial = 0x82F63B78u;

struct ByteTable {
    std::array<uint32_t, 256> entries{};
    ByteTable() {
        for (uint32_t byte = 0; byte < 256; ++byte) {
            uint32_t crc = byte;
            for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (kPolynomial & (0u - (crc & 1u)));
            entries[byte] = crc;
        }
    }
};

// Both take and answer the inverted register.
uint32_t PortableUpdate(uint32_t crc, const unsigned char* data, size_t size) {
    static const ByteTable table;
    for (size_t i = 0; i < size; ++i) crc = table.entries[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return crc;
}

#ifdef RIZEZUVU_CRC_INSTRUCTION
__attribute__((target("sse4.2"))) uint32_t InstructionUpdate(uint32_t crc,
                                                             const unsigned char* data,
                                                             size_t size) {
#if defined(__x86_64__)
    uint64_t wide = crc;
    for (; size >= 8; size -= 8, data += 8) {
        uint64_t word;
        std::memcpy(&word, data, 8);
        wide = _mm_crc32_u64(wide, word);
    }
    crc = static_cast<uint32_t>(wide);
#else
    for (; size >= 4; size -= 4, data += 4) {
        uint32_t word;
        std::memcpy(&word, data, 4);
        crc = _mm_crc32_u32(crc, word);
    }
#endif
    for (; size > 0; --size, ++data) crc = _mm_crc32_u8(crc, *data);
    return crc;
}

bool ProcessorHasInstruction() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSE4_2) != 0;
}
#endif

using UpdateFunction = uint32_t (*)(uint32_t, const unsigned char*, size_t);

UpdateFunction ChooseUpdate(bool allowInstruction) {
#ifdef RIZEZUVU_CRC_INSTRUCTION
    static const bool available = ProcessorHasInstruction();
    if (allowInstruction && available) return &InstructionUpdate;
#else
    (void)allowInstruction;
#endif
    return &PortableUpdate;
}

UpdateFunction g_update = ChooseUpdate(true);

}  // namespace

uint32_t Crc32c::Of(const void* data, size_t size, uint32_t crc) {
    return ~g_update(~crc, static_cast<const unsigned char*>(data), size);
}

void Crc32c::AllowProcessorInstruction(bool use) { g_update = ChooseUpdate(use); }
