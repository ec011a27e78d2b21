// The install journal's logic over an in-memory file system that can be made
// to fail at any operation: the order of steps, the record on "disk" at every
// moment, rollback after a failure and after a crash, and what a failed
// rollback leaves.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "install/install_journal.h"

namespace {

constexpr unsigned long kSharingViolation = 32;
constexpr const char* kBase = "C:\\Orvexa\\";
constexpr const char* kJournal = "C:\\Orvexa\\.RIZezuvu-journal";
constexpr const char* kRecord = "C:\\Orvexa\\.RIZezuvu-journal\\journal.txt";

struct FakeFile {
    std::string bytes;
    unsigned attributes;
    bool operator==(const FakeFile& other) const {
        return bytes == other.bytes && attributes == other.attributes;
    }
};

class FakeFiles : public JournalFiles {
public:
    std::map<std::string, FakeFile> files;
    std::set<std::string> folders = {"C:\\Orvexa"};
    // "operation path" entries that fail with kSharingViolation.
    std::set<std::string> failing;
    std::string openRecord;
    unsigned long lastError = 0;

    bool Fails(const std::string& operation, const std::string& path) {
        if (failing.count(operation + " " + path) == 0) return false;
        lastError = kSharingViolation;
        return true;
    }
    Kind Inspect(const std::string& path, bool* readOnly) override {
        if (Fails("probe", path)) return Kind::Unknown;
        if (files.count(path)) {
            if (readOnly != nullptr) *readOnly = (files[path].attributes & 1) != 0;
            return Kind::File;
        }
        return folders.count(path) ? Kind::Folder : Kind::Missing;
    }
    bool CreateHiddenFolder(const std::string& path) override {
        if (Fails("mkdir", path)) return false;
        return folders.insert(path).second;
    }
    bool HasFolder(const std::string& path) const { return folders.count(path) != 0; }
    bool RemoveFolder(const std::string& path) override {
        if (Fails("rmdir", path)) return false;
        for (const auto& file : files) {
            if (file.first.compare(0, path.size() + 1, path + "\\") == 0) return false;
        }
        for (const auto& folder : folders) {
            if (folder.compare(0, path.size() + 1, path + "\\") == 0) return false;
        }
        return folders.erase(path) == 1;
    }
    bool CreateRecord(const std::string& path) override {
        if (Fails("create", path) || files.count(path)) return false;
        files[path] = {"", 0};
        openRecord = path;
        return true;
    }
    int appends = 0;
    bool AppendRecord(const std::string& text) override {
        ++appends;
        if (Fails("append", openRecord)) return false;
        files[openRecord].bytes += text;
        return true;
    }
    void CloseRecord() override { openRecord.clear(); }
    bool ReadAll(const std::string& path, std::string& text) override {
        if (Fails("read", path) || !files.count(path)) return false;
        text = files[path].bytes;
        return true;
    }
    bool Move(const std::string& from, const std::string& to) override {
        if (Fails("move", from) || !files.count(from) || files.count(to)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool Copy(const std::string& from, const std::string& to) override {
        if (Fails("copy", to) || !files.count(from)) return false;
        files[to] = {files[from].bytes, 0};
        return true;
    }
    // Values, not shared files: enough while nothing writes into a file in place.
    bool Link(const std::string& existing, const std::string& link) override {
        if (Fails("link", existing) || !files.count(existing) || files.count(link)) return false;
        files[link] = files[existing];
        return true;
    }
    bool Replace(const std::string& from, const std::string& to) override {
        if (Fails("replace", to) || !files.count(from) || !files.count(to) ||
            (files[to].attributes & 1)) {
            lastError = kSharingViolation;
            return false;
        }
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool CanReplace(const std::string& path) override { return !Fails("hold", path); }
    bool Remove(const std::string& path) override {
        if (Fails("remove", path)) return false;
        files.erase(path);
        return true;
    }
    // The entries directly in `folder`, files and folders.
    bool List(const std::string& folder, std::vector<std::string>& names) override {
        std::set<std::string> found;
        auto add = [&](const std::string& path) {
            if (path.compare(0, folder.size() + 1, folder + "\\") != 0) return;
            std::string rest = path.substr(folder.size() + 1);
            found.insert(rest.substr(0, rest.find('\\')));
        };
        for (const auto& file : files) add(file.first);
        for (const auto& sub : folders) add(sub);
        names.assign(found.begin(), found.end());
        return true;
    }
    unsigned long LastError() override { return lastError; }
    void SetLastError(unsigned long code) override { lastError = code; }

    // What a copy onto a prepared target does.
    void Write(const std::string& target, const std::string& bytes) { files[target] = {bytes, 0}; }
};

class Events : public RollbackListener {
public:
    std::vector<std::string> lines;
    void Restored(const std::string& path) override { lines.push_back("restored " + path); }
    void Removed(const std::string& path) override { lines.push_back("removed " + path); }
    void Failed(const std::string& path, unsigned long code) override {
        lines.push_back("failed " + path + " " + std::to_string(code));
    }
};

class InstallJournalTest : public ::testing::Test {
protected:
    InstallJournalTest() {
        fs.files["C:\\Orvexa\\player.dll"] = {"old player", 1 /* read-only */};
        fs.files["C:\\Orvexa\\fw1.bin"] = {"old firmware", 2 /* hidden */};
        fs.folders.insert("C:\\Orvexa\\Skins");
        before = fs.files;
    }

    // A run that replaces a file, adds one, purges an image, then writes
    // the same target a second time (a later entry wins).
    void Update(InstallJournal& journal) {
        ASSERT_TRUE(journal.MoveAside("C:\\Orvexa\\fw1.bin"));
        ASSERT_TRUE(journal.PrepareTarget("C:\\Orvexa\\player.dll"));
        fs.Write("C:\\Orvexa\\player.dll", "new player");
        ASSERT_TRUE(journal.PrepareTarget("C:\\Orvexa\\Skins\\new.skin"));
        fs.Write("C:\\Orvexa\\Skins\\new.skin", "skin 1");
        ASSERT_TRUE(journal.PrepareTarget("C:\\Orvexa\\Skins\\new.skin"));
        fs.Write("C:\\Orvexa\\Skins\\new.skin", "skin 2");
    }

    // Rolls `journal` back and finds everything as it was, the journal gone.
    void ExpectRolledBack(InstallJournal& journal) {
        Events events;
        EXPECT_TRUE(journal.RollBack(events));
        EXPECT_EQ(fs.files, before);
        EXPECT_FALSE(journal.Exists());
    }

    FakeFiles fs;
    std::map<std::string, FakeFile> before;
};

TEST_F(InstallJournalTest, RecordIsWrittenBeforeEachStep) {
    InstallJournal journal(fs, kBase);
    EXPECT_FALSE(journal.HasWork());
    EXPECT_EQ(fs.folders.count(kJournal), 0u);  // nothing until the first change
    Update(journal);
    EXPECT_EQ(fs.files[kRecord].bytes,
              "RIZezuvu journal 1\n"
              "moved 1 fw1.bin\n"
              "moved 2 player.dll\n"
              "added Skins\\new.skin\n"
              "moved 3 Skins\\new.skin\n");
    // Moved, not copied, and with its attributes.
    EXPECT_EQ(fs.files["C:\\Orvexa\\.RIZezuvu-journal\\0\\2.old"],
              before["C:\\Orvexa\\player.dll"]);
    EXPECT_EQ(fs.files.count("C:\\Orvexa\\fw1.bin"), 0u);

    // A step whose record can't be written is not taken.
    fs.failing.insert(std::string("append ") + kRecord);
    EXPECT_FALSE(journal.MoveAside("C:\\Orvexa\\player.dll"));
    EXPECT_EQ(fs.lastError, kSharingViolation);
    EXPECT_EQ(fs.files["C:\\Orvexa\\player.dll"].bytes, "new player");
}

TEST_F(InstallJournalTest, RollBackRestoresEverythingAndRemovesTheJournal) {
    InstallJournal journal(fs, kBase);
    Update(journal);
    Events events;
    unsigned long failure = 99;
    EXPECT_TRUE(journal.RollBack(events, &failure));
    EXPECT_EQ(failure, 0u);
    EXPECT_EQ(fs.files, before);
    EXPECT_EQ(fs.folders.count(kJournal), 0u);
    EXPECT_EQ(events.lines,
              (std::vector<std::string>{
                  "restored C:\\Orvexa\\Skins\\new.skin", "removed C:\\Orvexa\\Skins\\new.skin",
                  "restored C:\\Orvexa\\player.dll", "restored C:\\Orvexa\\fw1.bin"}));
}

TEST_F(InstallJournalTest, CommitKeepsTheNewFilesAndLeavesNothing) {
    InstallJournal journal(fs, kBase);
    Update(journal);
    EXPECT_TRUE(journal.Commit());
    EXPECT_EQ(fs.folders.count(kJournal), 0u);
    EXPECT_EQ(fs.files.size(), 2u);
    EXPECT_EQ(fs.files["C:\\Orvexa\\player.dll"].bytes, "new player");
    EXPECT_EQ(fs.files["C:\\Orvexa\\Skins\\new.skin"].bytes, "skin 2");
}

TEST_F(InstallJournalTest, CommitThatCannotDropTheRecordCanStillBeRolledBack) {
    InstallJournal journal(fs, kBase);
    Update(journal);
    fs.failing.insert(std::string("remove ") + kRecord);
    EXPECT_FALSE(journal.Commit());
    fs.failing.clear();
    Events events;
    EXPECT_TRUE(journal.RollBack(events));
    EXPECT_EQ(fs.files, before);
}

// The process dies at each point of the run in turn; a new journal loaded
// from what is on "disk" puts the folder back every time.
TEST_F(InstallJournalTest, AnInterruptedRunIsRolledBackByTheNext) {
    const std::vector<std::string> stopAfter = {"record", "move", "copy"};
    for (int steps = 1; steps <= 4; ++steps) {
        for (const std::string& point : stopAfter) {
            SCOPED_TRACE(std::to_string(steps) + " " + point);
            fs.files = before;
            fs.folders = {"C:\\Orvexa", "C:\\Orvexa\\Skins"};
            {
                InstallJournal journal(fs, kBase);
                const char* targets[] = {"player.dll", "fw1.bin", "Skins\\a.skin", "player.dll"};
                for (int i = 0; i < steps; ++i) {
                    std::string target = std::string(kBase) + targets[i];
                    bool last = i == steps - 1;
                    if (last && point == "record") {
                        // The record's line reached the disk, the move did not.
                        fs.failing.insert("move " + target);
                    }
                    journal.PrepareTarget(target);
                    fs.failing.clear();
                    if (!(last && point != "copy")) fs.Write(target, "partial");
                }
            }  // killed: no commit, no rollback
            InstallJournal next(fs, kBase);
            ASSERT_TRUE(next.Exists());
            ASSERT_TRUE(next.Load());
            EXPECT_TRUE(next.Interrupted());
            ExpectRolledBack(next);
        }
    }
}

TEST_F(InstallJournalTest, AFailedUndoGoesOnAndKeepsTheJournalForTheNextRun) {
    {
        InstallJournal journal(fs, kBase);
        Update(journal);
        fs.failing.insert("remove C:\\Orvexa\\player.dll");  // held open by someone
        Events events;
        unsigned long failure = 0;
        EXPECT_FALSE(journal.RollBack(events, &failure));
        EXPECT_EQ(failure, kSharingViolation);
        EXPECT_EQ(events.lines[2], "failed C:\\Orvexa\\player.dll 32");
        EXPECT_EQ(events.lines.back(), "restored C:\\Orvexa\\fw1.bin");  // went on past it
        EXPECT_TRUE(journal.Exists());
    }
    fs.failing.clear();
    InstallJournal next(fs, kBase);
    ASSERT_TRUE(next.Load());
    Events events;
    EXPECT_TRUE(next.RollBack(events));
    EXPECT_EQ(events.lines, (std::vector<std::string>{"restored C:\\Orvexa\\player.dll"}));
    EXPECT_EQ(fs.files, before);
}

// A run that declares its copies up front writes the record once; the steps
// then take no writes, and a purge in between that takes a declared target
// is recorded as it happens. Killed at any point, the next run restores all.
TEST_F(InstallJournalTest, DeclaredCopiesAreRecordedAtOnceAndStillRollBack) {
    const std::vector<std::string> targets = {"C:\\Orvexa\\player.dll", "C:\\Orvexa\\Skins\\a.skin",
                                              "C:\\Orvexa\\fw1.bin", "C:\\Orvexa\\player.dll"};
    for (size_t done = 0; done <= targets.size(); ++done) {
        SCOPED_TRACE(done);
        fs.files = before;
        fs.folders = {"C:\\Orvexa", "C:\\Orvexa\\Skins"};
        fs.appends = 0;
        {
            InstallJournal journal(fs, kBase);
            ASSERT_TRUE(journal.Declare(targets));
            EXPECT_EQ(fs.files[kRecord].bytes,
                      "RIZezuvu journal 1\nmoved 1 player.dll\nadded Skins\\a.skin\n"
                      "moved 2 fw1.bin\nmoved 3 player.dll\n");
            EXPECT_EQ(fs.appends, 2);  // the header and the declarations
            // A firmware purge takes fw1.bin before its declared copy.
            ASSERT_TRUE(journal.MoveAside("C:\\Orvexa\\fw1.bin"));
            for (size_t i = 0; i < done; ++i) {
                ASSERT_TRUE(journal.PrepareTarget(targets[i]));
                fs.Write(targets[i], "new");
            }
            EXPECT_EQ(fs.appends, done >= 3 ? 4 : 3);  // fw1.bin's copy became an addition
        }                                              // killed
        InstallJournal next(fs, kBase);
        ASSERT_TRUE(next.Load());
        Events events;
        EXPECT_TRUE(next.RollBack(events));
        EXPECT_EQ(fs.files, before);
    }
}

// Install replaces an existing file in one rename, after the new copy is
// complete and the old file has a second name in the journal; read-only
// targets and volumes without hard links move the old file aside instead.
TEST_F(InstallJournalTest, InstallReplacesInOneStepAndRollsBack) {
    struct Case {
        const char* name;
        const char* failing;  // an operation made to fail, or ""
        bool installs;
    } cases[] = {
        {"through a second name", "", true},
        {"no hard links", "link C:\\Orvexa\\codec.dll", true},
        {"target held open", "hold C:\\Orvexa\\codec.dll", false},
        {"rename refused", "replace C:\\Orvexa\\codec.dll", false},
        {"disk full", "copy C:\\Orvexa\\.RIZezuvu-journal\\0\\1.new", false},
    };
    fs.files["C:\\Package\\codec.dll"] = {"new codec", 0};
    fs.files["C:\\Package\\player.dll"] = {"new player", 0};
    fs.files["C:\\Orvexa\\codec.dll"] = {"old codec", 0};
    fs.files["C:\\Package\\fw1.bin"] = {"new firmware", 0};
    before = fs.files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs.files = before;
        fs.folders = {"C:\\Orvexa", "C:\\Orvexa\\Skins"};
        fs.failing = {c.failing};
        fs.lastError = 0;
        InstallJournal journal(fs, kBase);
        ASSERT_TRUE(journal.Declare({"C:\\Orvexa\\codec.dll"}));
        EXPECT_EQ(journal.Install("C:\\Package\\codec.dll", "C:\\Orvexa\\codec.dll"), c.installs);
        if (c.installs) {
            EXPECT_EQ(fs.files["C:\\Orvexa\\codec.dll"].bytes, "new codec");
            EXPECT_EQ(fs.files["C:\\Orvexa\\.RIZezuvu-journal\\0\\1.old"],
                      before["C:\\Orvexa\\codec.dll"]);
            EXPECT_EQ(fs.files.count("C:\\Orvexa\\.RIZezuvu-journal\\0\\1.new"), 0u);
        } else {
            EXPECT_EQ(fs.lastError, kSharingViolation);
            EXPECT_EQ(fs.files["C:\\Orvexa\\codec.dll"],
                      before["C:\\Orvexa\\codec.dll"]);  // never touched
        }
        fs.failing.clear();
        ExpectRolledBack(journal);
    }
    // A read-only target can't be renamed over: its old file goes aside first.
    fs.files = before;
    fs.folders = {"C:\\Orvexa", "C:\\Orvexa\\Skins"};
    InstallJournal journal(fs, kBase);
    ASSERT_TRUE(journal.Install("C:\\Package\\player.dll", "C:\\Orvexa\\player.dll"));
    EXPECT_EQ(fs.files["C:\\Orvexa\\player.dll"].bytes, "new player");
    EXPECT_TRUE(journal.Commit());
    EXPECT_FALSE(journal.Exists());
}

TEST_F(InstallJournalTest, AJournalLeftByAnotherRunIsNeverReused) {
    fs.folders.insert(kJournal);
    InstallJournal journal(fs, kBase);
    EXPECT_FALSE(journal.PrepareTarget("C:\\Orvexa\\x.dat"));
    EXPECT_EQ(fs.lastError, 183u);
}

TEST_F(InstallJournalTest, ACommittedLeftoverIsOnlyCleanedUp) {
    fs.folders.insert(kJournal);
    fs.files["C:\\Orvexa\\.RIZezuvu-journal\\4.old"] = {"stale", 0};
    fs.folders.insert("C:\\Orvexa\\.RIZezuvu-journal\\0");
    fs.files["C:\\Orvexa\\.RIZezuvu-journal\\0\\5.old"] = {"stale", 0};
    InstallJournal journal(fs, kBase);
    ASSERT_TRUE(journal.Load());
    EXPECT_FALSE(journal.Interrupted());
    Events events;
    EXPECT_TRUE(journal.RollBack(events));
    EXPECT_TRUE(events.lines.empty());
    EXPECT_FALSE(journal.Exists());
    EXPECT_EQ(fs.files, before);
    EXPECT_FALSE(fs.HasFolder("C:\\Orvexa\\.RIZezuvu-journal\\0"));
}

TEST_F(InstallJournalTest, MovedFilesAreSpreadOverSmallFolders) {
    for (int i = 0; i < 130; ++i) fs.files["C:\\Orvexa\\f" + std::to_string(i)] = {"old", 0};
    before = fs.files;
    InstallJournal journal(fs, kBase);
    for (int i = 0; i < 130; ++i)
        ASSERT_TRUE(journal.MoveAside("C:\\Orvexa\\f" + std::to_string(i)));
    EXPECT_EQ(fs.files.count("C:\\Orvexa\\.RIZezuvu-journal\\0\\64.old"), 1u);
    EXPECT_EQ(fs.files.count("C:\\Orvexa\\.RIZezuvu-journal\\1\\65.old"), 1u);
    EXPECT_EQ(fs.files.count("C:\\Orvexa\\.RIZezuvu-journal\\2\\130.old"), 1u);
    ExpectRolledBack(journal);
}

TEST_F(InstallJournalTest, TargetsOutsideTheInstallationAreRefused) {
    InstallJournal journal(fs, kBase);
    for (const char* target : {"C:\\Windows\\x.dll", "C:\\Orvexa\\..\\x.dll", "C:\\Orvexa\\a:b",
                               "C:\\Orvexa\\\\x", "C:\\OrvexaX\\x"}) {
        fs.lastError = 0;
        EXPECT_FALSE(journal.PrepareTarget(target)) << target;
        EXPECT_EQ(fs.lastError, 13u) << target;
    }
    EXPECT_EQ(fs.files, before);
}

TEST(JournalRecordTest, ParsesOnlyWellFormedRecords) {
    std::vector<JournalLine> lines;
    EXPECT_TRUE(
        ParseJournalRecord("RIZezuvu journal 1\nadded a\nmoved 7 b\\c\nmoved 8 torn", lines));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_FALSE(lines[0].moved);
    EXPECT_EQ(lines[1].index, 7u);
    EXPECT_EQ(lines[1].target, "b\\c");
    for (const char* bad : {"", "RIZezuvu journal 2\n", "RIZezuvu journal 1\nremoved a\n",
                            "RIZezuvu journal 1\nmoved x a\n", "RIZezuvu journal 1\nmoved 0 a\n",
                            "RIZezuvu journal 1\nmoved 3a\n", "RIZezuvu journal 1\nadded \n",
                            "RIZezuvu journal 1\nadded ..\\..\\Windows\\x\n",
                            "RIZezuvu journal 1\nadded C:\\Windows\\x\n",
                            "RIZezuvu journal 1\nmoved 99999999999 a\n"}) {
        EXPECT_FALSE(ParseJournalRecord(bad, lines)) << bad;
    }
}

TEST(ContainedPathTest, OnlyPathsThatStayInsideTheirBase) {
    struct Case {
        const char* path;
        bool contained;
    } cases[] = {
        {"a", true},
        {"Skins\\default.skin", true},
        {"a\\..\\b", true},
        {".\\a", true},
        {"a/b", true},
        {"..", false},
        {"..\\x", false},
        {"a\\..\\..\\x", false},
        {"a/../../x", false},
        {"C:x", false},
        {"C:\\Windows\\x", false},
        {"\\windows", false},
        {"/windows", false},
        {"\\\\?\\C:\\x", false},
        {"\\\\.\\PhysicalDrive0", false},
        {"\\\\server\\share", false},
        {"file.txt:stream", false},
        {"", false},
        {"a\nb", false},
        {"...\\x", false},
        {".. \\x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsContainedRelativePath(c.path, nullptr), c.contained) << c.path;
}

TEST(ContainedPathTest, TrailBytesAreNotSeparators) {
    // In a double-byte code page 0x5C can be the second byte of a character.
    auto lead = [](unsigned char c) { return c >= 0x81 && c <= 0x9F; };
    // With the lead byte known, "\x95\\.." is one name and one ".." climbs back.
    EXPECT_TRUE(IsContainedRelativePath("\x95\\..\\..", lead));
    EXPECT_FALSE(IsContainedRelativePath("\x95\\..\\..", nullptr));
}

}  // namespace
