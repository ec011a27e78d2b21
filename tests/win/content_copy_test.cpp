// The content copy on real folders and files. The installed product comes
// from a narrow seam over the two installer queries (fake_installer.h);
// RAZoro.ini, the package and the installation folder are real.
#include <gtest/gtest.h>

#include "config/update_context.h"
#include "log/upgrade_log.h"
#include "product/installed_product.h"
#include "fake_installer.h"
#include "test_support.h"

namespace {

using testing_support::Exists;
using testing_support::MakeFolder;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

class ContentCopyTest : public ::testing::Test {
protected:
    ContentCopyTest() : install(root / "Orvexa"), package(root / "package") {
        MakeFolder(install);
        MakeFolder(package);
        testing_support::OneProductInstaller::properties = {{"InstallLocation", install + "\\"}};
        SetProductId("123456");
        context.programFolder = package;
        context.configPath = package + "\\OVConfig.xml";
    }
    ~ContentCopyTest() override { UpgradeLog::Close(); }

    void SetProductId(const std::string& id) {
        WriteFileBytes(install + "\\RAZoro.ini", "[Main]\r\nProductID=" + id + "\r\n");
    }

    // Loads the configuration with the given Upgrade section(s) and opens the log.
    void Configure(const std::string& upgrade,
                   const std::string& updatefile = " updatefile='Updated file %s'") {
        std::string xml =
            "<?xml version='1.0'?>\n<OVConfig><Version min='1' max='2'/>"
            "<Messages><Message title='T'" +
            updatefile + "/></Messages>" + upgrade + "</OVConfig>";
        WriteFileBytes(context.configPath, xml);
        ASSERT_TRUE(context.LoadConfig());
        MakeFolder(root / "logs");
        ASSERT_EQ(UpgradeLog::Open((root.Path() + "\\logs\\").c_str()), 1);
    }

    void PackageFile(const std::string& name, const std::string& content) {
        std::string path = package + "\\" + name;
        for (size_t slash = path.find('\\', package.size() + 1); slash != std::string::npos;
             slash = path.find('\\', slash + 1)) {
            MakeFolder(path.substr(0, slash));
        }
        WriteFileBytes(path, content);
    }

    bool Copy() {
        InstalledProduct product(testing_support::OneProductInstaller::Queries());
        return context.CopyContent(product);
    }

    std::string LogLines() {
        UpgradeLog::Close();
        bool stamped = false;
        std::string lines =
            testing_support::StripStamps(ReadFileBytes(root / "logs\\RIZezuvu.log"), &stamped);
        EXPECT_TRUE(stamped);
        return lines;
    }

    std::string Installed(const std::string& name) { return ReadFileBytes(install + "\\" + name); }

    TempFolder root;
    std::string install;
    std::string package;
    UpdateContext context;
};

TEST_F(ContentCopyTest, DefaultAndProductEntriesInDocumentOrder) {
    PackageFile("a\\shared.dat", "from product entry");
    PackageFile("b\\shared.dat", "from default entry");
    PackageFile("only.dat", "only");
    MakeFolder(install + "\\Skins");
    Configure(
        "<Upgrade><Product id='123456'><G dir='Skins'><File name='a\\shared.dat'/></G></Product>"
        "<Product id='999999'><G dir=''><File name='missing.dat'/></G></Product>"
        "<Product><G dir=''><File name='missing.dat'/></G></Product></Upgrade>"
        "<Upgrade><Product id='000000'><G dir='Skins'><File name='b\\shared.dat'/>"
        "<File name='only.dat'/></G></Product></Upgrade>");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(Installed("Skins\\shared.dat"), "from default entry");
    EXPECT_EQ(Installed("Skins\\only.dat"), "only");
    EXPECT_FALSE(Exists(install + "\\Skins\\a"));
    EXPECT_EQ(LogLines(),
              "Updated file shared.dat\nUpdated file shared.dat\nUpdated file only.dat\n");
}

TEST_F(ContentCopyTest, ProductIdsCompareWithoutCase) {
    SetProductId("00ab12");
    PackageFile("f.dat", "x");
    Configure(
        "<upgrade><PRODUCT id='00AB12'><Files dir=''><file "
        "name='f.dat'/></Files></PRODUCT></upgrade>");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(Installed("f.dat"), "x");
}

TEST_F(ContentCopyTest, NothingApplicableCopiesAndLogsNothing) {
    for (const char* upgrade :
         {"", "<Upgrade><Product id='999999'><G dir=''><File name='x'/></G></Product></Upgrade>",
          "<Upgrade><Product id='000000'/></Upgrade>"}) {
        Configure(upgrade);
        EXPECT_TRUE(Copy()) << upgrade;
        EXPECT_EQ(LogLines(), "") << upgrade;
        context.messages.clear();
    }
}

TEST_F(ContentCopyTest, FolderNamesAreReadFromThePackageAndDropped) {
    PackageFile("Skins\\deep\\default.skin", "skin");
    Configure(
        "<Upgrade><Product id='000000'><Group dir=''><File name='Skins\\deep\\default.skin'/>"
        "</Group></Product></Upgrade>");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(Installed("default.skin"), "skin");
}

TEST_F(ContentCopyTest, ReadOnlyAndHiddenTargetsAreReplaced) {
    PackageFile("ro.dat", "new ro");
    PackageFile("hidden.dat", "new hidden");
    WriteFileBytes(install + "\\ro.dat", "old");
    WriteFileBytes(install + "\\hidden.dat", "old");
    ::SetFileAttributesA((install + "\\ro.dat").c_str(), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesA((install + "\\hidden.dat").c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    Configure(
        "<Upgrade><Product id='000000'><G dir=''><File name='ro.dat'/><File name='hidden.dat'/>"
        "</G></Product></Upgrade>");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(Installed("ro.dat"), "new ro");
    EXPECT_EQ(Installed("hidden.dat"), "new hidden");
}

TEST_F(ContentCopyTest, FirmwareGroupPurgesBinFilesOfTheInstallationFolderOnly) {
    WriteFileBytes(install + "\\old1.bin", "1");
    WriteFileBytes(install + "\\old2.BIN", "2");
    WriteFileBytes(install + "\\ro.bin", "3");
    ::SetFileAttributesA((install + "\\ro.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(install + "\\keep.binx", "4");
    MakeFolder(install + "\\Firmware");
    WriteFileBytes(install + "\\Firmware\\nested.bin", "5");
    PackageFile("fw\\update.bin", "new");
    Configure(
        "<Upgrade><Product id='123456'><FIRMWARE dir=''><File name='fw\\update.bin'/></FIRMWARE>"
        "</Product></Upgrade>");
    EXPECT_TRUE(Copy());
    EXPECT_FALSE(Exists(install + "\\old1.bin"));
    EXPECT_FALSE(Exists(install + "\\old2.BIN"));
    EXPECT_FALSE(Exists(install + "\\ro.bin"));
    EXPECT_TRUE(Exists(install + "\\keep.binx"));
    EXPECT_TRUE(Exists(install + "\\Firmware\\nested.bin"));
    EXPECT_EQ(Installed("update.bin"), "new");
}

TEST_F(ContentCopyTest, FirmwarePurgeStandsWhenItsGroupFails) {
    WriteFileBytes(install + "\\old.bin", "1");
    Configure(
        "<Upgrade><Product id='000000'><Firmware dir='NoSuchFolder'><File name='x.bin'/></Firmware>"
        "</Product></Upgrade>");
    EXPECT_FALSE(Copy());
    EXPECT_FALSE(Exists(install + "\\old.bin"));
    EXPECT_EQ(LogLines(), "Directory not found " + install + "\\NoSuchFolder...\n\n");
}

TEST_F(ContentCopyTest, MissingGroupFolderStopsAfterEarlierGroups) {
    PackageFile("first.dat", "1");
    PackageFile("third.dat", "3");
    Configure(
        "<Upgrade><Product id='000000'><G dir=''><File name='first.dat'/></G>"
        "<G dir='Missing'><File name='third.dat'/></G><G dir=''><File name='third.dat'/></G>"
        "</Product></Upgrade>");
    EXPECT_FALSE(Copy());
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Installed("first.dat"), "1");
    EXPECT_FALSE(Exists(install + "\\third.dat"));
    EXPECT_EQ(LogLines(),
              "Updated file first.dat\nDirectory not found " + install + "\\Missing...\n\n");
}

TEST_F(ContentCopyTest, MissingSourceFileLogsBothLinesAndStops) {
    PackageFile("later.dat", "x");
    Configure(
        "<Upgrade><Product id='000000'><G dir=''><File name='gone\\absent.dat'/>"
        "<File name='later.dat'/></G></Product></Upgrade>");
    EXPECT_FALSE(Copy());
    DWORD error = ::GetLastError();
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) << error;
    EXPECT_FALSE(Exists(install + "\\later.dat"));
    EXPECT_EQ(LogLines(), "Updated file absent.dat\nCopy file failed absent.dat...\n");
}

TEST_F(ContentCopyTest, MalformedEntriesFailWithoutALine) {
    PackageFile("f.dat", "x");
    for (const char* upgrade :
         {"<Upgrade><Product id='000000'><G><File name='f.dat'/></G></Product></Upgrade>",
          "<Upgrade><Product id='000000'><G dir=''><File/></G></Product></Upgrade>"}) {
        Configure(upgrade);
        EXPECT_FALSE(Copy()) << upgrade;
        EXPECT_EQ(LogLines(), "") << upgrade;
        context.messages.clear();
    }
    EXPECT_FALSE(Exists(install + "\\f.dat"));
}

TEST_F(ContentCopyTest, PathsTooLongFailWithoutOverflow) {
    PackageFile("f.dat", "x");
    std::string longDir(240, 'd');
    std::string longName(300, 'n');
    for (const std::string& upgrade : {"<Upgrade><Product id='000000'><G dir='" + longDir +
                                           "'><File name='f.dat'/></G></Product></Upgrade>",
                                       "<Upgrade><Product id='000000'><G dir=''><File name='" +
                                           longName + "'/></G></Product></Upgrade>",
                                       "<Upgrade><Product id='000000'><G dir=''><File name='x\\" +
                                           longName + "'/></G></Product></Upgrade>"}) {
        Configure(upgrade);
        EXPECT_FALSE(Copy());
        EXPECT_EQ(LogLines(), "");
        context.messages.clear();
    }
}

TEST_F(ContentCopyTest, CommentsTextAndOtherElementsAreSkipped) {
    PackageFile("f.dat", "x");
    PackageFile("g.dat", "y");
    Configure(
        "<Upgrade><!-- c -->text<Product id='000000'><!-- c -->text<Anything dir=''>"
        "<!-- c -->text<Note name='g.dat'/><File name='f.dat'/><!-- c "
        "--></Anything></Product></Upgrade>");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(Installed("f.dat"), "x");
    EXPECT_FALSE(Exists(install + "\\g.dat"));
    EXPECT_EQ(LogLines(), "Updated file f.dat\n");
}

TEST_F(ContentCopyTest, MissingUpdatefileTextLeavesTheLineEmpty) {
    PackageFile("f.dat", "x");
    Configure(
        "<Upgrade><Product id='000000'><G dir=''><File name='f.dat'/></G></Product></Upgrade>", "");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(LogLines(), "\n");
}

TEST_F(ContentCopyTest, NoProductIdOrLocationFails) {
    PackageFile("f.dat", "x");
    Configure(
        "<Upgrade><Product id='000000'><G dir=''><File name='f.dat'/></G></Product></Upgrade>");
    ::DeleteFileA((install + "\\RAZoro.ini").c_str());
    EXPECT_FALSE(Copy());
    EXPECT_FALSE(Exists(install + "\\f.dat"));
}

}  // namespace
