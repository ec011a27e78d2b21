// CRC-32C (Castagnoli, as in iSCSI and ext4's metadata): the check that tells
// a whole entry of the journal's data files from one that a crash cut short
// or filled with zeros. Pure logic; on a processor with SSE 4.2 it runs on
// the processor's CRC instruction (many gigabytes a second, against a few
// hundred megabytes for SHA-256 even with its extensions), so that keeping
// a file's old bytes costs little beyond writing them.
#pragma once

#include <cstddef>
#include <cstdint>

class Crc32c {
public:
    // The CRC of `size` bytes at `data`, continuing `crc` (the CRC of the
    // bytes before them; 0 for none).
    static uint32_t Of(const void* data, size_t size, uint32_t crc = 0);

    // Which one runs: true with the processor's CRC instruction. `use`
    // false forces the portable one (the tests compare both).
    static bool UsesProcessorInstruction();
    static void AllowProcessorInstruction(bool use);
};
