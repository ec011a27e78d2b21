// The private folder on real folders: the access lists that the system keeps
// for it, for what is created in it, and for the journal's folders.
//
// Wine (8) keeps no access list on a file: it turns the list it is given
// into the Unix mode bits and answers a list made up from them (SYSTEM and
// the owner, and Everyone for the "other" bits), and a new file inherits
// nothing. What Wine can show is that no one else (Everyone, "other") is
// granted the folder; the lists themselves are checked where the system
// keeps them.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "install/journal_names.h"
#include "install/journal_files_win.h"
#include "platform/file_system_win.h"
#include "platform/private_folder_win.h"
#include "test_support.h"

namespace {

using testing_support::MakeFolder;
using testing_support::TempFolder;

using Sid = std::vector<BYTE>;

Sid WellKnown(WELL_KNOWN_SID_TYPE type) {
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!::CreateWellKnownSid(type, nullptr, sid.data(), &size)) return Sid();
    sid.resize(size);
    return sid;
}

const Sid kAdministrators = WellKnown(WinBuiltinAdministratorsSid);
const Sid kSystem = WellKnown(WinLocalSystemSid);
const Sid kEveryone = WellKnown(WinWorldSid);
const Sid kUsers = WellKnown(WinBuiltinUsersSid);

constexpr ACCESS_MASK kRead = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

// One allowed or denied entry of an access list.
struct Entry {
    BYTE type;
    BYTE flags;
    ACCESS_MASK mask;
    Sid sid;

    bool operator==(const Entry& other) const {
        return type == other.type && flags == other.flags && mask == other.mask && sid == other.sid;
    }
    bool AppliesToItself() const { return (flags & INHERIT_ONLY_ACE) == 0; }
};

void PrintTo(const Entry& entry, std::ostream* out) {
    char* text = nullptr;
    Sid sid = entry.sid;
    std::string name = !sid.empty() && ::ConvertSidToStringSidA(sid.data(), &text) ? text : "?";
    ::LocalFree(text);
    *out << "{type " << int(entry.type) << ", flags " << std::hex << int(entry.flags) << ", mask "
         << entry.mask << std::dec << ", " << name << "}";
}

struct Security {
    bool read = false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    std::vector<Entry> entries;
};

Security SecurityOf(const std::string& path) {
    Security security;
    std::wstring wide;
    if (!platform::SystemPath(path, wide)) return security;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ACL* list = nullptr;
    if (::GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return security;
    DWORD revision = 0;
    security.read =
        ::GetSecurityDescriptorControl(descriptor, &security.control, &revision) && list != nullptr;
    for (DWORD i = 0; security.read && i < list->AceCount; ++i) {
        void* found = nullptr;
        if (!::GetAce(list, i, &found)) {
            security.read = false;
            break;
        }
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(found);
        Entry entry{header->AceType, header->AceFlags, 0, Sid()};
        // Allowed and denied entries have one layout; other types are
        // listed without their contents.
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
            header->AceType == ACCESS_DENIED_ACE_TYPE) {
            const ACCESS_ALLOWED_ACE* ace = static_cast<const ACCESS_ALLOWED_ACE*>(found);
            PSID sid = const_cast<DWORD*>(&ace->SidStart);
            entry.mask = ace->Mask;
            entry.sid.assign(static_cast<BYTE*>(sid),
                             static_cast<BYTE*>(sid) + ::GetLengthSid(sid));
        }
        security.entries.push_back(entry);
    }
    ::LocalFree(descriptor);
    return security;
}

std::vector<Entry> ApplyingToItself(const Security& security) {
    std::vector<Entry> applying;
    for (const Entry& entry : security.entries) {
        if (entry.AppliesToItself()) applying.push_back(entry);
    }
    return applying;
}

bool GrantsEveryone(const Security& security) {
    for (const Entry& entry : ApplyingToItself(security)) {
        if (entry.type == ACCESS_ALLOWED_ACE_TYPE && entry.sid == kEveryone && entry.mask != 0)
            return true;
    }
    return false;
}

// Gives `folder` exactly `entries` (allowed ones), nothing inherited.
bool SetAccessList(const std::string& folder, const std::vector<Entry>& entries) {
    DWORD size = sizeof(ACL);
    for (const Entry& entry : entries)
        size += sizeof(ACCESS_ALLOWED_ACE) + static_cast<DWORD>(entry.sid.size());
    std::vector<DWORD> words(size / sizeof(DWORD) + 1);
    ACL* list = reinterpret_cast<ACL*>(words.data());
    if (!::InitializeAcl(list, static_cast<DWORD>(words.size() * sizeof(DWORD)), ACL_REVISION))
        return false;
    for (const Entry& entry : entries) {
        Sid sid = entry.sid;
        if (!::AddAccessAllowedAceEx(list, ACL_REVISION, entry.flags, entry.mask, sid.data()))
            return false;
    }
    std::wstring wide;
    return platform::SystemPath(folder, wide) &&
           ::SetNamedSecurityInfoW(&wide[0], SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, list, nullptr) == ERROR_SUCCESS;
}

bool RunsAsAdministrator() {
    BOOL member = FALSE;
    Sid sid = kAdministrators;
    return ::CheckTokenMembership(nullptr, sid.data(), &member) && member;
}

bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

bool CreateEmptyFile(const std::string& path) {
    std::wstring wide;
    if (!platform::SystemPath(path, wide)) return false;
    HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

bool IsFolder(const std::string& path) {
    unsigned long attributes = 0;
    return platform::GetFileAttributesAt(path, attributes) &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The installation folder of the tests: everyone may read its files and
// folders, and users may write to its sub-folders (an entry that no file
// gets).
const std::vector<Entry>& InstallationEntries() {
    static const std::vector<Entry> entries = {
        {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
         kAdministrators},
        {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
         kSystem},
        {ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, kRead, kEveryone},
        {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, FILE_GENERIC_WRITE, kUsers},
    };
    return entries;
}

class PrivateFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // As the program itself, which asks to run as an administrator: the
        // private folder is theirs alone.
        if (!RunsAsAdministrator()) GTEST_SKIP() << "needs an administrator's token";
        install = root / "install";
        ASSERT_TRUE(MakeFolder(install));
        ASSERT_TRUE(SetAccessList(install, InstallationEntries()));
    }

    // True when the system keeps the access lists it is given: everywhere but
    // under a Wine that answers lists made up from mode bits.
    bool KeepsAccessLists() {
        if (!UnderWine()) return true;
        Security security = SecurityOf(install);
        return security.read && security.entries == InstallationEntries();
    }

    TempFolder root;
    std::string install;
};

TEST_F(PrivateFolderTest, GrantsNoOneElseWhereAPlainFolderDoes) {
    ASSERT_TRUE(platform::CreatePrivateFolderAt(install + "\\private", install));
    ASSERT_TRUE(MakeFolder(install + "\\plain"));
    Security plain = SecurityOf(install + "\\plain");
    Security made = SecurityOf(install + "\\private");
    ASSERT_TRUE(plain.read && made.read);
    // The reading sees Everyone where the folder grants it (inherited from
    // the installation folder, or Wine's "other" bits)...
    EXPECT_TRUE(GrantsEveryone(plain));
    // ...and the private folder grants no one else, although the
    // installation folder's entry for Everyone is among its entries for files.
    EXPECT_FALSE(GrantsEveryone(made));
    // The folder is usable: files and folders can be made in it.
    EXPECT_TRUE(CreateEmptyFile(install + "\\private\\file"));
    EXPECT_TRUE(MakeFolder(install + "\\private\\sub"));
}

TEST_F(PrivateFolderTest, FailsWhereSomethingIsOrTheOriginCannotBeRead) {
    ASSERT_TRUE(MakeFolder(install + "\\taken"));
    ASSERT_TRUE(CreateEmptyFile(install + "\\taken\\kept"));
    ASSERT_TRUE(CreateEmptyFile(install + "\\file"));
    struct Case {
        std::string path;
        std::string inheritFrom;
        DWORD code;
    };
    const Case cases[] = {
        {install + "\\taken", install, ERROR_ALREADY_EXISTS},
        {install + "\\file", install, ERROR_ALREADY_EXISTS},
        {install + "\\missing\\new", install, ERROR_PATH_NOT_FOUND},
        {install + "\\new", root / "missing", ERROR_FILE_NOT_FOUND},
        {install + "\\new", root / "missing\\deeper", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " from " + c.inheritFrom);
        ::SetLastError(0);
        EXPECT_FALSE(platform::CreatePrivateFolderAt(c.path, c.inheritFrom));
        EXPECT_EQ(::GetLastError(), c.code);
    }
    EXPECT_FALSE(testing_support::Exists(install + "\\new"));
    EXPECT_TRUE(testing_support::Exists(install + "\\taken\\kept"));
    EXPECT_TRUE(IsFolder(install + "\\taken"));
    EXPECT_FALSE(IsFolder(install + "\\file"));
}

// The journal's folders, in an installation folder whose path is long enough
// that every call on them goes through the extended form.
TEST_F(PrivateFolderTest, JournalFoldersArePrivateAtTheLongestPaths) {
    std::string longInstall = install;
    while (longInstall.size() < 250) {
        longInstall += "\\" + std::string(40, 'd');
        ASSERT_TRUE(platform::CreateFolderAt(longInstall));
    }
    ASSERT_TRUE(SetAccessList(longInstall, InstallationEntries()));
    WindowsJournalFiles files;
    std::string journal = longInstall + "\\" + journal_names::kFolderName;
    std::string bucket = journal + "\\0";
    ASSERT_TRUE(files.CreateJournalFolder(journal));
    ASSERT_TRUE(files.CreateJournalFolder(bucket));
    ::SetLastError(0);
    EXPECT_FALSE(files.CreateJournalFolder(bucket));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    for (const std::string& folder : {journal, bucket}) {
        SCOPED_TRACE(folder);
        unsigned long attributes = 0;
        ASSERT_TRUE(platform::GetFileAttributesAt(folder, attributes));
        EXPECT_NE(attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
        EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
        Security security = SecurityOf(folder);
        ASSERT_TRUE(security.read);
        EXPECT_FALSE(GrantsEveryone(security));
        EXPECT_TRUE(CreateEmptyFile(folder + "\\1.new"));
    }
    if (!KeepsAccessLists()) return;
    ASSERT_TRUE(CreateEmptyFile(longInstall + "\\placed"));
    Security placed = SecurityOf(longInstall + "\\placed");
    ASSERT_TRUE(placed.read);
    for (const std::string& folder : {journal, bucket}) {
        SCOPED_TRACE(folder);
        Security security = SecurityOf(folder);
        EXPECT_NE(security.control & SE_DACL_PROTECTED, 0);
        for (const Entry& entry : ApplyingToItself(security))
            EXPECT_TRUE(entry.sid == kAdministrators || entry.sid == kSystem);
        Security file = SecurityOf(folder + "\\1.new");
        ASSERT_TRUE(file.read);
        EXPECT_EQ(file.entries, placed.entries);
    }
}

// What only a system that keeps access lists shows: the lists themselves,
// and what a new file and a new sub-folder inherit.
TEST_F(PrivateFolderTest, AccessListsOfTheFolderAndOfWhatIsMadeInIt) {
    if (!KeepsAccessLists())
        GTEST_SKIP() << "this system keeps no access list on files (Wine maps them to mode bits)";
    const std::string made = install + "\\private";
    ASSERT_TRUE(platform::CreatePrivateFolderAt(made, install));

    Security security = SecurityOf(made);
    ASSERT_TRUE(security.read);
    EXPECT_NE(security.control & SE_DACL_PROTECTED, 0);
    // The folder's own entries, which sub-folders inherit and files don't;
    // then the installation's entries that reach its files, for files only.
    const BYTE forFiles = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE;
    const std::vector<Entry> expected = {
        {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, kAdministrators},
        {ACCESS_ALLOWED_ACE_TYPE, CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, kSystem},
        {ACCESS_ALLOWED_ACE_TYPE, forFiles, FILE_ALL_ACCESS, kAdministrators},
        {ACCESS_ALLOWED_ACE_TYPE, forFiles, FILE_ALL_ACCESS, kSystem},
        {ACCESS_ALLOWED_ACE_TYPE, forFiles, kRead, kEveryone},
    };
    EXPECT_EQ(security.entries, expected);

    // A file made in the installation folder, for comparison: what every
    // file made below the private folder must get.
    ASSERT_TRUE(CreateEmptyFile(install + "\\placed"));
    Security placed = SecurityOf(install + "\\placed");
    ASSERT_TRUE(placed.read);
    const Entry everyoneReads{ACCESS_ALLOWED_ACE_TYPE, INHERITED_ACE, kRead, kEveryone};
    EXPECT_NE(std::find(placed.entries.begin(), placed.entries.end(), everyoneReads),
              placed.entries.end());

    ASSERT_TRUE(MakeFolder(made + "\\plain"));
    ASSERT_TRUE(platform::CreatePrivateFolderAt(made + "\\private", made));
    for (const std::string& folder : {made, made + "\\plain", made + "\\private"}) {
        SCOPED_TRACE(folder);
        std::vector<Entry> applying = ApplyingToItself(SecurityOf(folder));
        ASSERT_EQ(applying.size(), 2u);
        for (const Entry& entry : applying) {
            EXPECT_EQ(entry.type, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(entry.mask, FILE_ALL_ACCESS);
            EXPECT_TRUE(entry.sid == kAdministrators || entry.sid == kSystem);
        }
        EXPECT_NE(applying[0].sid, applying[1].sid);
        ASSERT_TRUE(CreateEmptyFile(folder + "\\file"));
        Security file = SecurityOf(folder + "\\file");
        ASSERT_TRUE(file.read);
        EXPECT_EQ(file.entries, placed.entries);
    }
}

}  // namespace
