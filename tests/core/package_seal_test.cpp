#include "config/package_seal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kDigestA[] = "2d32d5f1d971267d58e4ef199752705b1422dc3d6e0dea8322eed0bbad688468";

TEST(PackageManifest, ReadsBackWhatItWritesAndFindsNamesInAnyCase) {
    PackageManifest manifest;
    SealedFile skin;
    skin.name = "Skins\\default.skin";
    skin.size = 8;
    ASSERT_TRUE(ParseDigestHex(kDigestA, skin.digest));
    SealedFile empty;
    empty.name = "name with spaces.dat";
    ASSERT_TRUE(manifest.Add(skin));
    ASSERT_TRUE(manifest.Add(empty));
    EXPECT_FALSE(manifest.Add(skin)) << "a name listed twice";

    PackageManifest read;
    ASSERT_TRUE(read.Parse(manifest.Format()));
    ASSERT_EQ(read.Files().size(), 2u);
    const SealedFile* found = read.Find("SKINS\\Default.Skin");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->size, 8u);
    EXPECT_EQ(found->digest, skin.digest);
    ASSERT_NE(read.Find("name with spaces.dat"), nullptr);
    EXPECT_EQ(read.Find("Skins"), nullptr);
    EXPECT_EQ(read.Find("default.skin"), nullptr);
}

TEST(PackageManifest, RefusesTheWholeTextForAnyBadLine) {
    const std::string header = std::string(kManifestHeader) + "\r\n";
    const std::string good = std::string(kDigestA) + " 8 a.dat\r\n";
    struct Case {
        const char* name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"no header", good},
        {"another format", "RIZezuvu manifest 2\r\n" + good},
        {"short digest", header + std::string(kDigestA).substr(1) + " 8 a.dat\r\n"},
        {"not hexadecimal", header + "g" + std::string(kDigestA).substr(1) + " 8 a.dat\r\n"},
        {"size not a number", header + kDigestA + " 8x a.dat\r\n"},
        {"size too large", header + kDigestA + " 99999999999999999999 a.dat\r\n"},
        {"no name", header + kDigestA + " 8\r\n"},
        {"empty name", header + kDigestA + " 8 \r\n"},
        {"name twice in two cases", header + good + kDigestA + " 8 A.DAT\r\n"},
        {"climbs out", header + kDigestA + " 8 ..\\a.dat\r\n"},
        {"a dot component", header + kDigestA + " 8 x\\.\\a.dat\r\n"},
        {"full path", header + kDigestA + " 8 C:\\a.dat\r\n"},
        {"leading separator", header + kDigestA + " 8 \\a.dat\r\n"},
        {"stream", header + kDigestA + " 8 a.dat:hidden\r\n"},
        {"control character", header + kDigestA + " 8 a\tb.dat\r\n"},
        {"an empty line", header + good + "\r\n"},
    };
    for (const Case& bad : cases) {
        PackageManifest manifest;
        EXPECT_FALSE(manifest.Parse(bad.text)) << bad.name;
        EXPECT_TRUE(manifest.Files().empty()) << bad.name;
    }
    PackageManifest manifest;
    EXPECT_TRUE(manifest.Parse(header + good)) << "the same lines, well formed";
    EXPECT_TRUE(manifest.Parse(header)) << "a package whose configuration names no file";
}

TEST(PackageSeal, ZerosAreUnsealedAWrittenSealReadsBackAnythingElseIsDamaged) {
    unsigned char section[kSealBytes] = {};
    PackageSeal seal;
    EXPECT_EQ(ReadSeal(section, seal), SealState::kUnsealed);

    PackageSeal written;
    written.config = Sha256::Of(std::string("config"));
    written.manifest = Sha256::Of(std::string("manifest"));
    WriteSeal(written, section);
    ASSERT_EQ(ReadSeal(section, seal), SealState::kSealed);
    EXPECT_EQ(seal.config, written.config);
    EXPECT_EQ(seal.manifest, written.manifest);

    for (size_t at : {size_t{0}, sizeof kSealMagic - 1, kSealBytes - 1}) {
        unsigned char changed[kSealBytes];
        std::copy(section, section + kSealBytes, changed);
        changed[at] ^= 0x40;
        EXPECT_EQ(ReadSeal(changed, seal), SealState::kDamaged) << at;
    }
}

TEST(SealedFileCheck, PassesOnlyTheSealedBytesWhole) {
    const std::string bytes = "firmware v2";
    SealedFile sealed;
    sealed.name = "update.bin";
    sealed.size = bytes.size();
    sealed.digest = Sha256::Of(bytes);

    SealedFileCheck same(sealed);
    EXPECT_TRUE(same.Add(bytes.data(), 4) && same.Add(bytes.data() + 4, bytes.size() - 4));
    EXPECT_TRUE(same.Matches());

    std::string changed = bytes;
    changed[3] ^= 1;
    SealedFileCheck oneByte(sealed);
    EXPECT_TRUE(oneByte.Add(changed.data(), changed.size()));
    EXPECT_FALSE(oneByte.Matches());

    SealedFileCheck shorter(sealed);
    EXPECT_TRUE(shorter.Add(bytes.data(), bytes.size() - 1));
    EXPECT_FALSE(shorter.Matches());

    SealedFileCheck longer(sealed);
    EXPECT_TRUE(longer.Add(bytes.data(), bytes.size()));
    EXPECT_FALSE(longer.Add("x", 1)) << "more than was sealed stops the read at once";
}

TEST(SealedPackage, FindsASourceOnlyUnderThePackageFolder) {
    SealedPackage package;
    package.sourceBase = "C:\\Package\\";
    SealedFile file;
    file.name = "Skins\\default.skin";
    ASSERT_TRUE(package.manifest.Add(file));
    EXPECT_NE(package.Find("C:\\Package\\skins\\DEFAULT.SKIN"), nullptr);
    EXPECT_EQ(package.Find("C:\\Other\\Skins\\default.skin"), nullptr);
    EXPECT_EQ(package.Find("C:\\Package\\"), nullptr);
    EXPECT_EQ(package.Find("C:\\Package\\default.skin"), nullptr);
    EXPECT_EQ(ManifestNameOf("C:\\Package\\Skins\\default.skin", package.sourceBase),
              "Skins\\default.skin");
}

}  // namespace
