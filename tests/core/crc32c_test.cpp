// CRC-32C, the check on the journal's kept old bytes: the standard's check
// value, and the processor's instruction agreeing with the portable table
// on every length, alignment and split.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/crc32c.h"

namespace {

class Crc32cTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { Crc32c::AllowProcessorInstruction(GetParam()); }
    void TearDown() override { Crc32c::AllowProcessorInstruction(true); }
};

TEST_P(Crc32cTest, GivesTheStandardsCheckValues) {
    struct Known {
        std::string input;
        uint32_t crc;
    };
    const Known known[] = {
        {"", 0x00000000u},
        {"123456789", 0xE3069283u},            // the catalogue's check value
        {std::string(32, '\0'), 0x8A9136AAu},  // RFC 3720, B.4
        {std::string(32, '\xFF'), 0x62A8AB43u},
    };
    for (const Known& k : known) EXPECT_EQ(Crc32c::Of(k.input.data(), k.input.size()), k.crc);
}

TEST_P(Crc32cTest, AnySplitAndAnyAlignmentGiveTheCrcOfTheWhole) {
    std::mt19937 random(11);
    std::string buffer(70016, '\0');
    for (char& c : buffer) c = static_cast<char>(random());
    for (size_t length : {1u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 1000u, 70000u}) {
        for (size_t offset : {0u, 1u, 5u, 8u}) {
            const char* data = buffer.data() + offset;
            uint32_t whole = Crc32c::Of(data, length);
            uint32_t pieces = 0;
            for (size_t at = 0; at < length;) {
                size_t piece = std::min<size_t>(length - at, random() % 40);
                pieces = Crc32c::Of(data + at, piece, pieces);
                at += piece;
            }
            EXPECT_EQ(pieces, whole) << length << " at " << offset;
            // The other implementation agrees.
            Crc32c::AllowProcessorInstruction(!GetParam());
            EXPECT_EQ(Crc32c::Of(data, length), whole) << length << " at " << offset;
            Crc32c::AllowProcessorInstruction(GetParam());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Implementations, Crc32cTest, ::testing::Values(true, false));

}  // namespace
