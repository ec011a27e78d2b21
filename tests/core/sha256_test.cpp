// SHA-256 against the standard's digests, in one piece and in any split.
// Built twice: in core_tests, with the block function this processor gets,
// and alone as sha256_portable_tests, with only the portable one that every
// processor without the SHA extensions runs.
#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

struct Vector {
    std::string input;
    const char* digest;
};

std::string EveryByteValue(size_t times) {
    std::string bytes;
    for (size_t i = 0; i < times; ++i) {
        for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
    }
    return bytes;
}

std::vector<Vector> KnownDigests() {
    return {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnop"
         "qrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Bytes with the high bit set, which a signed load would spoil.
        {EveryByteValue(4), "785b0751fc2c53dc14a4ce3d800e69ef9ce1009eb327ccf458afe09c242c26c9"},
    };
}

TEST(Sha256, GivesTheStandardsDigests) {
    for (const Vector& known : KnownDigests()) {
        EXPECT_EQ(DigestHex(Sha256::Of(known.input)), known.digest) << known.input.size();
    }
}

TEST(Sha256, AnySplitIntoPiecesGivesTheDigestOfTheWhole) {
    std::mt19937 random(7);
    for (size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u, 70000u}) {
        std::string data(length, '\0');
        for (char& c : data) c = static_cast<char>(random());
        Sha256Digest whole = Sha256::Of(data);
        Sha256 pieces;
        for (size_t at = 0; at < length;) {
            size_t piece = std::min<size_t>(length - at, random() % 200);
            pieces.Update(data.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(pieces.Finish(), whole) << length;
        // The object starts over after Finish.
        pieces.Update(data.data(), data.size());
        EXPECT_EQ(pieces.Finish(), whole) << length;
    }
}

}  // namespace
