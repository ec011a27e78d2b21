// The content copy on real folders and files. The installed product comes
// from a narrow seam over the two installer queries (fake_installer.h);
// RAZoro.ini, the package and the installation folder are real.
#include <gtest/gtest.h>
#include <algorithm>

#include "config/package_seal.h"
#include "config/update_context.h"
#include "install/content_install_win.h"
#include "install/install_journal.h"
#include "platform/path_rules.h"
#include "install/journal_files_win.h"
#include "platform/file_system_win.h"
#include "platform/path_services_win.h"
#include "log/upgrade_log.h"
#include "product/installed_product.h"
#include "fake_installer.h"
#include "test_support.h"

namespace {

using testing_support::Attributes;
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

    // One run's copy, planned as a run plans it.
    bool Copy() {
        InstalledProduct product(testing_support::OneProductInstaller::Queries());
        std::string location;
        if (!product.GetInstallLocation(location)) return false;
        UpdatePlan plan = MakeUpdatePlan(context, product, location);
        return CopyContent(context, plan, nullptr, nullptr, rollbackIncomplete);
    }

    // The lines logged since the last call (the log starts afresh after it).
    std::string LogLines() {
        UpgradeLog::Close();
        bool stamped = false;
        std::string lines =
            testing_support::StripStamps(ReadFileBytes(root / "logs\\RIZezuvu.log"), &stamped);
        EXPECT_TRUE(stamped);
        ::DeleteFileA((root / "logs\\RIZezuvu.log").c_str());
        return lines;
    }

    std::string Installed(const std::string& name) { return ReadFileBytes(install + "\\" + name); }

    TempFolder root;
    std::string install;
    std::string package;
    UpdateContext context;
    bool rollbackIncomplete = false;  // as the last Copy left it
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

TEST_F(ContentCopyTest, FirmwarePurgeIsUndoneWhenItsGroupFails) {
    WriteFileBytes(install + "\\old.bin", "1");
    Configure(
        "<Upgrade><Product id='000000'><Firmware dir='NoSuchFolder'><File name='x.bin'/></Firmware>"
        "</Product></Upgrade>");
    EXPECT_FALSE(Copy());
    EXPECT_EQ(Installed("old.bin"), "1");
    EXPECT_EQ(LogLines(), "Directory not found " + install +
                              "\\NoSuchFolder...\n\nRollback: restored " + install +
                              "\\old.bin\nRollback complete: the installation is as it was before "
                              "the update.\n");
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
    EXPECT_FALSE(Exists(install + "\\absent.dat"));
    std::string log = LogLines();
    EXPECT_EQ(log.find("Updated file absent.dat\nCopy file failed absent.dat...\n"), 0u) << log;
}

// A file of a sealed package that is gone by the time its copy comes (it
// was there for the check before the consent) does not match the seal:
// ERROR_INVALID_DATA, the file named, whichever way its copy is made, and
// nothing left changed.
TEST_F(ContentCopyTest, ASealedFileGoneBeforeItsCopyIsInvalidData) {
    const struct {
        const char* name;
        const char* oldTarget;  // null: the copy adds the file
    } cases[] = {
        {"an added file", nullptr},
        {"an existing file replaced", "old bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PackageFile("first.dat", "first");
        ::DeleteFileA((install + "\\absent.dat").c_str());
        if (c.oldTarget != nullptr) WriteFileBytes(install + "\\absent.dat", c.oldTarget);
        const std::string before = testing_support::Snapshot(install);
        Configure(
            "<Upgrade><Product id='000000'><G dir=''><File name='first.dat'/>"
            "<File name='gone\\absent.dat'/></G></Product></Upgrade>");
        SealedPackage sealed;
        ASSERT_TRUE(MakePlanBase(package, sealed.sourceBase));
        for (const char* name : {"first.dat", "gone\\absent.dat"}) {
            SealedFile file;
            file.name = name;
            file.size = 5;
            file.digest = Sha256::Of(std::string("first"));
            ASSERT_TRUE(sealed.manifest.Add(file));
        }
        context.sealed = sealed;
        EXPECT_FALSE(Copy());
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
        EXPECT_EQ(testing_support::Snapshot(install), before);
        std::string log = LogLines();
        EXPECT_NE(
            log.find("Updated file absent.dat\nPackage seal: gone\\absent.dat is missing from "
                     "the package\nCopy file failed absent.dat...\n"),
            std::string::npos)
            << log;
        context.sealed.reset();
        context.messages.clear();
    }
}

TEST_F(ContentCopyTest, FirmwareGroupWithoutImagesOrWithAnImmovableOneStillInstalls) {
    PackageFile("fw\\update.bin", "new");
    PackageFile("later.dat", "later");
    const std::string upgrade =
        "<Upgrade><Product id='000000'><Firmware dir=''><File name='fw\\update.bin'/></Firmware>"
        "<G dir=''><File name='later.dat'/></G></Product></Upgrade>";
    Configure(upgrade);  // no image at all
    EXPECT_TRUE(Copy());
    EXPECT_EQ(Installed("later.dat"), "later");
    LogLines();
    context.messages.clear();

    // An image held open without sharing can't be moved away: it stays, the
    // purge stops there, and the copy goes on.
    ::DeleteFileA((install + "\\update.bin").c_str());
    ::DeleteFileA((install + "\\later.dat").c_str());
    WriteFileBytes(install + "\\held.bin", "held");
    HANDLE held = ::CreateFileA((install + "\\held.bin").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Configure(upgrade);
    EXPECT_TRUE(Copy());
    ::CloseHandle(held);
    EXPECT_EQ(Installed("held.bin"), "held");
    EXPECT_EQ(Installed("update.bin"), "new");
    EXPECT_EQ(Installed("later.dat"), "later");
    EXPECT_FALSE(Exists(install + "\\.RIZezuvu-journal"));
}

TEST_F(ContentCopyTest, AFolderNamedLikeAnImageIsLeftAloneByThePurge) {
    MakeFolder(install + "\\folder.bin");
    ::SetFileAttributesA((install + "\\folder.bin").c_str(), FILE_ATTRIBUTE_HIDDEN);
    // The search's order is the file system's: images on both sides of the folder.
    WriteFileBytes(install + "\\a.bin", "old");
    WriteFileBytes(install + "\\z.bin", "old");
    PackageFile("x.dat", "x");
    Configure(
        "<Upgrade><Product id='000000'><Firmware dir=''><File name='x.dat'/></Firmware>"
        "</Product></Upgrade>");
    EXPECT_TRUE(Copy());
    EXPECT_NE(Attributes(install + "\\folder.bin") & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_FALSE(Exists(install + "\\a.bin"));  // the purge went on past the folder
    EXPECT_FALSE(Exists(install + "\\z.bin"));
}

// Each failure in the middle of a copy leaves the installation folder byte
// for byte (and attribute for attribute) as it was, with the rollback logged
// and the failing step's code left for the failure report.
TEST_F(ContentCopyTest, AFailureMidCopyRestoresTheInstallationExactly) {
    struct Case {
        const char* name;
        const char* secondGroup;  // after a group that has replaced and added a file
        DWORD code;
        const char* failureLine;
    } cases[] = {
        {"second source missing", "<G dir=''><File name='absent.dat'/></G>", ERROR_FILE_NOT_FOUND,
         "Copy file failed absent.dat...\n"},
        {"target held open", "<G dir=''><File name='locked.dat'/></G>", ERROR_SHARING_VIOLATION,
         "Copy file failed locked.dat...\n"},
        {"group folder missing after a purge",
         "<Firmware dir='Missing'><File name='fw.bin'/></Firmware>", ERROR_FILE_NOT_FOUND,
         "Directory not found "},
        {"group without dir", "<G><File name='fw.bin'/></G>", ERROR_INVALID_DATA,
         "Invalid configuration at line 2 (group G of Product '000000'): no dir attribute\n"},
        {"file without name", "<G dir=''><File name=''/></G>", ERROR_INVALID_DATA,
         "Invalid configuration at line 2 (group G of Product '000000'): File without a name\n"},
        {"dir outside the installation", "<G dir='..\\..'><File name='fw.bin'/></G>",
         ERROR_INVALID_DATA, "dir leaves the installation folder: ..\\..\n"},
        {"name outside the package", "<G dir=''><File name='..\\Orvexa\\player.dll'/></G>",
         ERROR_INVALID_DATA, "name leaves the package folder: ..\\Orvexa\\player.dll\n"},
    };
    PackageFile("player.dll", "new player");
    PackageFile("added.dat", "added");
    PackageFile("locked.dat", "new locked");
    PackageFile("fw.bin", "new firmware");
    WriteFileBytes(install + "\\player.dll", "old player");
    ::SetFileAttributesA((install + "\\player.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(install + "\\locked.dat", "old locked");
    WriteFileBytes(install + "\\old.bin", "old firmware");
    MakeFolder(install + "\\Skins");
    WriteFileBytes(install + "\\Skins\\keep.skin", "skin");
    const std::string before = testing_support::Snapshot(install);
    ASSERT_NE(before.find("player.dll 0x21 'old player'"), std::string::npos) << before;

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure(
            "<Upgrade><Product id='000000'><G dir=''><File name='player.dll'/>"
            "<File name='added.dat'/></G>" +
            std::string(c.secondGroup) + "</Product></Upgrade>");
        HANDLE held = ::CreateFileA((install + "\\locked.dat").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(Copy());
        DWORD code = ::GetLastError();
        ::CloseHandle(held);
        if (c.code == ERROR_FILE_NOT_FOUND) {
            EXPECT_TRUE(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) << code;
        } else {
            EXPECT_EQ(code, c.code);
        }
        EXPECT_EQ(testing_support::Snapshot(install), before);
        std::string log = LogLines();
        EXPECT_EQ(log.find("Updated file player.dll\nUpdated file added.dat\n"), 0u) << log;
        EXPECT_NE(log.find(c.failureLine), std::string::npos) << log;
        EXPECT_NE(log.find("Rollback: restored " + install + "\\player.dll\n"), std::string::npos)
            << log;
        EXPECT_NE(log.find("Rollback: removed " + install + "\\added.dat\n"), std::string::npos)
            << log;
        EXPECT_NE(log.find("Rollback complete: the installation is as it was before the update.\n"),
                  std::string::npos)
            << log;
        EXPECT_FALSE(rollbackIncomplete);
        context.messages.clear();
    }
}

// A replaced target ends as the new file, whether the old one was longer
// or shorter; undoing it puts the old one back whole, length and all.
TEST_F(ContentCopyTest, AReplacedFileEndsAsTheNewOneAndItsUndoAsTheOld) {
    const struct {
        const char* name;
        const char* oldBytes;
        const char* newBytes;
    } cases[] = {
        {"old longer", "the old settings, much longer than the new ones", "new"},
        {"old shorter", "old", "the new settings, much longer than the old ones"},
        {"same length", "old bytes", "new bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PackageFile("settings.ini", c.newBytes);
        WriteFileBytes(install + "\\settings.ini", c.oldBytes);
        const std::string before = testing_support::Snapshot(install);
        Configure(
            "<Upgrade><Product id='000000'><G dir=''><File name='settings.ini'/></G>"
            "<G dir=''><File name='absent.dat'/></G></Product></Upgrade>");
        EXPECT_FALSE(Copy());
        EXPECT_EQ(testing_support::Snapshot(install), before);
        Configure(
            "<Upgrade><Product id='000000'><G dir=''><File name='settings.ini'/></G>"
            "</Product></Upgrade>");
        EXPECT_TRUE(Copy());
        EXPECT_EQ(Installed("settings.ini"), c.newBytes);
        context.messages.clear();
    }
}

// A journal folder that another run left (its clean-up could not finish)
// is never reused and never blocks: the run journals under a fresh name.
TEST_F(ContentCopyTest, AJournalFolderOfAnotherRunIsNeverReusedNorBlocks) {
    PackageFile("a.dat", "new a");
    WriteFileBytes(install + "\\a.dat", "old a");
    ASSERT_TRUE(MakeFolder(install + "\\.RIZezuvu-journal"));
    WriteFileBytes(install + "\\.RIZezuvu-journal\\7.old", "kept");
    Configure(
        "<Upgrade><Product id='000000'><G dir=''><File name='a.dat'/></G></Product></Upgrade>");
    for (int run = 0; run < 2; ++run) {
        EXPECT_TRUE(Copy()) << ::GetLastError();
        EXPECT_EQ(Installed("a.dat"), "new a");
        EXPECT_EQ(ReadFileBytes(install + "\\.RIZezuvu-journal\\7.old"), "kept");
        EXPECT_FALSE(Exists(install + "\\.RIZezuvu-journal-2"));
    }
}

// The commit's flush of the journal's folder, on a real folder: it opens
// the folder for writing with backup semantics and flushes it (Wine 8 does
// so with fsync on the folder), also while the run holds the folder
// against renaming; a folder that is not there fails with the system's
// code. The file system's name tells whether name changes keep their order.
TEST_F(ContentCopyTest, TheJournalsFolderIsFlushedWhileItIsHeld) {
    const std::string folder = install + "\\.RIZezuvu-journal";
    ASSERT_TRUE(MakeFolder(folder));
    WindowsJournalFiles files;
    std::string held;
    ASSERT_TRUE(files.HoldFolder(folder, held)) << ::GetLastError();
    ::SetLastError(0);
    EXPECT_TRUE(platform::FlushFolderToDisk(folder)) << ::GetLastError();
    EXPECT_TRUE(files.FlushFolder(folder)) << ::GetLastError();
    files.ReleaseFolders();
    EXPECT_FALSE(platform::FlushFolderToDisk(folder + "\\missing"));
    EXPECT_TRUE(platform::IsNotFoundCode(::GetLastError())) << ::GetLastError();
    std::string fileSystem;
    ASSERT_TRUE(platform::FileSystemNameOf(folder, fileSystem)) << ::GetLastError();
    RecordProperty("fileSystem", fileSystem);
    EXPECT_EQ(files.KeepsNameOrder(folder), fileSystem == "NTFS" || fileSystem == "ReFS")
        << fileSystem;
}

// The journal's own paths are some 30 characters longer than the
// installation folder: at the longest folder whose log still fits, the
// update and its rollback work all the same.
TEST_F(ContentCopyTest, TheLongestInstallationFolderIsUpdatedAndRolledBack) {
    // RIZezuvu.log must fit in 259 characters: a folder of 246 at most.
    std::string deep = root.Path();
    while (deep.size() < 246) {
        size_t room = 246 - deep.size() - 1;
        deep += "\\" + std::string(room > 61 ? 50 : room, 'd');
    }
    ASSERT_EQ(deep.size(), 246u);
    for (size_t slash = deep.find('\\', root.Path().size() + 1); slash != std::string::npos;
         slash = deep.find('\\', slash + 1))
        ASSERT_TRUE(MakeFolder(deep.substr(0, slash)));
    ASSERT_TRUE(MakeFolder(deep));
    testing_support::OneProductInstaller::properties = {{"InstallLocation", deep + "\\"}};
    WriteFileBytes(deep + "\\RAZoro.ini", "[Main]\r\nProductID=123456\r\n");
    WriteFileBytes(deep + "\\a.dat", "old a");
    WriteFileBytes(deep + "\\up.bin", "old image");
    PackageFile("a.dat", "new a");
    PackageFile("b.dat", "new b");
    Configure(
        "<Upgrade><Product id='000000'><Firmware dir=''><File name='a.dat'/><File name='b.dat'/>"
        "</Firmware></Product></Upgrade>");
    EXPECT_TRUE(Copy()) << ::GetLastError();
    EXPECT_EQ(ReadFileBytes(deep + "\\a.dat"), "new a");
    EXPECT_EQ(ReadFileBytes(deep + "\\b.dat"), "new b");
    EXPECT_FALSE(Exists(deep + "\\up.bin"));
    EXPECT_FALSE(Exists(deep + "\\.RIZezuvu-journal"));

    // A missing source after the purge and a replaced file: all put back.
    WriteFileBytes(deep + "\\up.bin", "old image");
    Configure(
        "<Upgrade><Product id='000000'><Firmware dir=''><File name='a.dat'/><File name='gone.dat'/>"
        "</Firmware></Product></Upgrade>");
    WriteFileBytes(package + "\\a.dat", "newer a");
    EXPECT_FALSE(Copy());
    EXPECT_EQ(ReadFileBytes(deep + "\\a.dat"), "new a");
    EXPECT_EQ(ReadFileBytes(deep + "\\up.bin"), "old image");
    EXPECT_FALSE(Exists(deep + "\\.RIZezuvu-journal"));
}

TEST_F(ContentCopyTest, ConfigurationFaultsNameTheEntryAndReportInvalidData) {
    PackageFile("f.dat", "x");
    struct Case {
        const char* upgrade;
        const char* line;
    } cases[] = {
        {"<Upgrade><Product id='000000'>\n<G><File name='f.dat'/></G></Product></Upgrade>",
         "Invalid configuration at line 3 (group G of Product '000000'): no dir attribute\n"},
        {"<Upgrade><Product id='123456'><G dir=''>\n<File/></G></Product></Upgrade>",
         "Invalid configuration at line 3 (group G of Product '123456'): File without a name\n"},
        {"<Upgrade><Product id='000000'><Skins dir=''><File name=''/></Skins></Product></Upgrade>",
         "Invalid configuration at line 2 (group Skins of Product '000000'): File without a "
         "name\n"},
    };
    for (const Case& c : cases) {
        Configure(c.upgrade);
        EXPECT_FALSE(Copy()) << c.upgrade;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << c.upgrade;
        EXPECT_EQ(LogLines(), c.line);
        context.messages.clear();
    }
    EXPECT_FALSE(Exists(install + "\\f.dat"));
    // An empty name no longer resets the attributes of the package folder.
    ::SetFileAttributesA(package.c_str(), FILE_ATTRIBUTE_HIDDEN);
    Configure("<Upgrade><Product id='000000'><G dir=''><File name=''/></G></Product></Upgrade>");
    EXPECT_FALSE(Copy());
    EXPECT_NE(Attributes(package) & FILE_ATTRIBUTE_HIDDEN, 0u);
    ::SetFileAttributesA(package.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Values that once made the elevated program write or read outside its
// folders: each is refused before anything is touched.
TEST_F(ContentCopyTest, HostilePathsAreRefused) {
    PackageFile("f.dat", "x");
    WriteFileBytes(root / "outside.dat", "outside");
    const std::string dirs[] = {"..",          "..\\..",    "C:\\Windows",  "\\windows", "C:",
                                "\\\\?\\C:\\", "\\\\.\\C:", "Skins:stream", "a\\..\\.."};
    const std::string names[] = {
        "..\\outside.dat",         "C:\\Windows\\win.ini", "C:f.dat",
        "\\windows\\win.ini",      "f.dat:stream",         "\\\\?\\C:\\windows\\win.ini",
        "sub\\..\\..\\outside.dat"};
    std::vector<std::string> upgrades;
    for (const std::string& dir : dirs) {
        upgrades.push_back("<Upgrade><Product id='000000'><G dir='" + dir +
                           "'><File name='f.dat'/></G></Product></Upgrade>");
    }
    for (const std::string& name : names) {
        upgrades.push_back("<Upgrade><Product id='000000'><G dir=''><File name='" + name +
                           "'/></G></Product></Upgrade>");
    }
    MakeFolder(root / "logs");
    const std::string before = testing_support::Snapshot(root.Path());
    for (const std::string& upgrade : upgrades) {
        Configure(upgrade);
        EXPECT_FALSE(Copy()) << upgrade;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << upgrade;
        std::string log = LogLines();
        EXPECT_EQ(log.find("Invalid configuration at line 2"), 0u) << log;
        EXPECT_EQ(log.find("Updated file"), std::string::npos) << log;
        ::DeleteFileA(context.configPath.c_str());
        EXPECT_EQ(testing_support::Snapshot(root.Path()), before) << upgrade;
        context.messages.clear();
    }
}

TEST_F(ContentCopyTest, AJoinThatFitsWithTheFoldersOwnBackslashIsAccepted) {
    // The target base ends in a backslash; base + name is exactly 259
    // characters, which fits.
    std::string name(259 - (install.size() + 1), 'n');
    MakeFolder(root / "p");
    context.programFolder = root / "p";
    WriteFileBytes(root / "p\\" + name, "fits");
    Configure("<Upgrade><Product id='000000'><G dir=''><File name='" + name +
              "'/></G></Product></Upgrade>");
    EXPECT_TRUE(Copy());
    EXPECT_EQ(Installed(name), "fits");
    EXPECT_EQ((install + "\\" + name).size(), 259u);
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

TEST_F(ContentCopyTest, NoProductIdIsLoggedAsInvalidData) {
    PackageFile("f.dat", "x");
    Configure(
        "<Upgrade><Product id='000000'><G dir=''><File name='f.dat'/></G></Product></Upgrade>");
    const std::string line =
        "No product id: RAZoro.ini in " + install + "\\ has no ProductID in section Main\n";
    for (const char* settings : {"", "[Main]\r\nProductID=\r\n", "[Other]\r\nProductID=1\r\n"}) {
        if (settings[0] == '\0') {
            ::DeleteFileA((install + "\\RAZoro.ini").c_str());
        } else {
            WriteFileBytes(install + "\\RAZoro.ini", settings);
        }
        EXPECT_FALSE(Copy()) << settings;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA)) << settings;
        EXPECT_FALSE(Exists(install + "\\f.dat"));
    }
    EXPECT_EQ(LogLines(), line + line + line);
}

}  // namespace

namespace {

// The plan joins paths itself (so that the checker, on any system, joins
// them the same way); for every name that passes the containment check its
// result must be the shell's.
TEST(PlanJoinTest, MatchesTheShellsJoinForContainedNames) {
    const std::string base = "C:\\Program Files (x86)\\Orvexa\\";
    for (const char* name : {"a", "Skins\\default.skin", "a\\..\\b", ".\\a", "a\\.\\b",
                             "a\\b\\..\\..\\c", "Skins\\", "a/b", "x.y.z", "a b\\c d", "a..\\b"}) {
        ASSERT_TRUE(IsPlainRelativePath(name, nullptr)) << name;
        platform::PathBuffer shell;
        ASSERT_TRUE(platform::CombinePath(shell, base.c_str(), name)) << name;
        std::string plan;
        ASSERT_TRUE(JoinContainedPath(base, name, plan, nullptr)) << name;
        EXPECT_EQ(plan, shell) << name;
    }
    // Where the shell has ways of its own, the plan refuses the name. (Wine
    // joins "..a" as if it were "..\\a", outside the folder.)
    for (const char* name : {"a\\\\b", ".", "a\\..", "a\\.", "a\\..\\", "a//b", "..a", "x\\..a"}) {
        EXPECT_FALSE(IsPlainRelativePath(name, nullptr)) << name;
    }
}

}  // namespace
