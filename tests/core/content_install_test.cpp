// The copy that ships (ContentInstaller and RecoverInterruptedUpdates, the
// calls the program makes) against a file system that answers as Windows
// does. Named cases for the faults users meet, then a model-based test:
// many random packages and installations, each run clean, killed at every
// change, failed at every operation, recovered and run again, and compared
// with a plain model of what the copy must do.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "fake_journal_files.h"
#include "install/content_install.h"
#include "install/journal_recovery.h"
#include "install/install_plan.h"

namespace {

using State = std::map<std::string, fake::File>;

constexpr const char* kBase = "C:\\Orvexa\\";
constexpr const char* kInstall = "C:\\Orvexa";
constexpr const char* kPackage = "C:\\Pkg";
constexpr unsigned long kInvalidData = 13;

class Lines : public ContentInstallLog, public RecoveryLog {
public:
    std::vector<std::string> lines;
    void Add(const std::string& line) { lines.push_back(line); }
    void UpdatingFile(const std::string& fileName) override { Add("updating " + fileName); }
    void CopyFailed(const std::string& fileName) override { Add("copy failed " + fileName); }
    void FolderNotFound(const std::string& folder) override { Add("no folder " + folder); }
    void ConfigurationFault(const PlanStep& step) override {
        Add(std::string("fault ") + DescribePlanFault(step.fault));
    }
    void JournalNotStarted(const std::string& folder) override { Add("not written " + folder); }
    void RollbackComplete() override { Add("rollback complete"); }
    void InterruptedRolledBack() override { Add("interrupted run rolled back"); }
    void EmptyJournalRemoved(const std::string& folder) override { Add("empty removed " + folder); }
    void ForeignJournalSetAside(const std::string& folder, const JournalOwner& owner,
                                const std::string& setAsideAs) override {
        Add("foreign " + folder + " of " + owner.productCode + " as " + setAsideAs);
    }
    void LeftoverKept(const std::string& folder) override { Add("leftover kept " + folder); }
    void JournalUnreadable(const std::string& folder) override { Add("unreadable " + folder); }
    void RollbackIncomplete(const std::string& folder) override { Add("incomplete " + folder); }
    void NamesNotKeptInOrder(const std::string& folder) override { Add("unordered " + folder); }
    void CommitNotFlushed(const std::string& folder, unsigned long code) override {
        Add("not flushed " + folder + " " + std::to_string(code));
    }
    void Restored(const std::string& path) override { Add("restored " + path); }
    void Removed(const std::string& path) override { Add("removed " + path); }
    void Failed(const std::string& path, unsigned long code) override {
        Add("failed " + path + " " + std::to_string(code));
    }
    void LeftInJournal(const std::string& path, unsigned long code) override {
        Add("left " + path + " " + std::to_string(code));
    }
    void WriteRefused(const std::string& path, bool leadsOutside) override {
        Add("refused " + path + (leadsOutside ? " outside" : " unchecked"));
    }
    bool Has(const std::string& start) const {
        for (const std::string& line : lines)
            if (line.compare(0, start.size(), start) == 0) return true;
        return false;
    }
};

JournalOwner Owner(const std::string& productCode = "{ORVEXA}") { return {productCode, kBase}; }

// Plan steps as install_plan.h makes them.
PlanStep Purge() {
    PlanStep step;
    step.kind = PlanStep::Kind::kPurgeFirmware;
    step.folder = kBase;
    return step;
}
PlanStep Group(const std::string& dir) {
    PlanStep step;
    step.kind = PlanStep::Kind::kGroupFolder;
    step.folder = dir.empty() ? std::string(kBase) : kBase + dir;
    return step;
}
PlanStep Copy(const std::string& source, const std::string& dir, const std::string& name) {
    PlanStep step;
    step.kind = PlanStep::Kind::kCopyFile;
    step.source = std::string(kPackage) + "\\" + source;
    step.fileName = name;
    step.target = kBase + (dir.empty() ? name : dir + "\\" + name);
    step.folder = FolderOfPath(step.target, nullptr);
    return step;
}
PlanStep Fault() {
    PlanStep step;
    step.kind = PlanStep::Kind::kFault;
    step.fault = PlanFault::kDirOutside;
    step.value = "..\\x";
    return step;
}

using Plans = std::vector<std::vector<PlanStep>>;

// What the program does: recovery, then the copy.
bool RunUpdate(fake::Files& fs, const Plans& plans, Lines& log,
               const JournalOwner& owner = Owner()) {
    if (!RecoverInterruptedUpdates(fs, owner, nullptr, log)) return false;
    ContentInstaller installer(fs, owner, nullptr, log);
    return installer.InstallPlans(plans);
}

bool Recover(fake::Files& fs, Lines& log, const JournalOwner& owner = Owner()) {
    return RecoverInterruptedUpdates(fs, owner, nullptr, log);
}

// As the program runs an update: the result is shown (`shown` set) once the
// update is final, before the journal's clean-up.
bool RunShowingResult(fake::Files& fs, const Plans& plans, Lines& log, bool& shown) {
    if (!Recover(fs, log)) return false;
    ContentInstaller installer(fs, Owner(), nullptr, log);
    return installer.InstallPlans(plans, [&shown] { shown = true; });
}

// The installation's content, less what the journal keeps in its folders.
State Content(const fake::Files& fs) {
    State state = fs.Snapshot(kInstall);
    for (auto it = state.begin(); it != state.end();)
        it = it->first.compare(0, 10, ".rizezuvu-") == 0 ? state.erase(it) : std::next(it);
    return state;
}

// The plain model of the copy: purge, then copy in order, stopping at the
// first failure; a failed update leaves the installation as it was. A purge
// stops at an image it can't delete (`purgeStop` names the purge, counted
// from 0, and the image's position in it, when a fault made one stop; with
// `laterPurgesStop`, every purge after it stops at its first image too, as
// when the journal could not record anything from then on).
struct ModelResult {
    bool success;
    State state;
};
ModelResult Model(const fake::Files& start, const Plans& plans,
                  std::pair<int, int> purgeStop = {-1, -1}, bool laterPurgesStop = false) {
    fake::Files fs = start;
    fs.failAt = fs.crashAt = 0;
    fs.beforeOperation = nullptr;
    int purges = 0;
    auto fail = [&]() { return ModelResult{false, Content(start)}; };
    // Nothing is written where a link leads out of the installation: a
    // folder written in, or a target, up to the first fault.
    auto outside = [&](const std::string& path) {
        std::string resolved = fake::Key(fs.Resolve(path));
        return resolved != "c:\\orvexa" && resolved.compare(0, 10, "c:\\orvexa\\") != 0;
    };
    for (const auto& plan : plans) {
        for (const PlanStep& step : plan) {
            if (step.kind == PlanStep::Kind::kFault) goto checked;
            if (step.kind != PlanStep::Kind::kCopyFile) {
                if (outside(step.folder)) return fail();
            } else if (outside(step.target)) {
                return fail();
            }
        }
    }
checked:
    for (const auto& plan : plans) {
        for (const PlanStep& step : plan) {
            switch (step.kind) {
                case PlanStep::Kind::kPurgeFirmware: {
                    std::vector<std::string> images;
                    fs.ListFilesEndingIn(kInstall, ".bin", images);
                    for (size_t i = 0; i < images.size(); ++i) {
                        std::string path = kBase + images[i];
                        if (fs.held.count(fake::Key(path))) break;
                        if (purges == purgeStop.first && static_cast<int>(i) == purgeStop.second)
                            break;
                        if (laterPurgesStop && purgeStop.first >= 0 && purges > purgeStop.first)
                            break;
                        fs.files.erase(fake::Key(path));
                    }
                    ++purges;
                    break;
                }
                case PlanStep::Kind::kGroupFolder:
                    if (!fs.HasFolder(step.folder)) return fail();
                    break;
                case PlanStep::Kind::kFault:
                    return fail();
                case PlanStep::Kind::kCopyFile:
                    if (!fs.HasFile(step.source) || fs.held.count(fake::Key(step.source)) ||
                        fs.HasFolder(step.target) || fs.held.count(fake::Key(step.target)))
                        return fail();
                    fs.AddFile(step.target, fs.FileAt(step.source).bytes, false);
                    break;
            }
        }
    }
    return {true, Content(fs)};
}

int PurgeCount(const Plans& plans) {
    int purges = 0;
    for (const auto& plan : plans)
        for (const PlanStep& step : plan) purges += step.kind == PlanStep::Kind::kPurgeFirmware;
    return purges;
}

bool NoJournalLeft(const fake::Files& fs) {
    for (const auto& folder : fs.folders)
        if (folder.first.find(".rizezuvu-") != std::string::npos) return false;
    return true;
}

bool RecordLeft(const fake::Files& fs) {
    for (const auto& file : fs.files)
        if (file.first.find("journal.txt") != std::string::npos) return true;
    return false;
}

std::string Describe(const State& state) {
    std::string text;
    for (const auto& entry : state)
        text +=
            entry.first + "=" + entry.second.bytes + (entry.second.readOnly ? "(ro)" : "") + " ";
    return text;
}

class ContentInstallTest : public ::testing::Test {
protected:
    ContentInstallTest() {
        fs.AddFolder("C:");
        fs.AddFolder(kInstall);
        fs.AddFolder(kPackage);
        fs.AddFolder("C:\\Orvexa\\Skins");
        fs.AddFile("C:\\Orvexa\\player.dll", "old player", true);
        fs.AddFile("C:\\Orvexa\\update.bin", "old image");
        fs.AddFile("C:\\Orvexa\\other.bin", "other image");
        fs.AddFile("C:\\Pkg\\player.dll", "new player");
        fs.AddFile("C:\\Pkg\\update.bin", "new image");
        fs.AddFile("C:\\Pkg\\update2.bin", "newer image");
        fs.AddFile("C:\\Pkg\\a.skin", "skin");
    }

    // The demonstration's shape: a default entry and a product entry with a
    // Firmware group that installs an image of an installed image's name.
    Plans DemoPlans() const {
        return {{Group(""), Copy("player.dll", "", "player.dll"), Group("Skins"),
                 Copy("a.skin", "Skins", "a.skin")},
                {Purge(), Group(""), Copy("update.bin", "", "update.bin")}};
    }

    fake::Files fs;
    Lines log;
};

TEST_F(ContentInstallTest, TheSameUpdateTwiceSucceedsBothTimes) {
    Plans plans = DemoPlans();
    ModelResult expected = Model(fs, plans);
    ASSERT_TRUE(expected.success);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(RunUpdate(fs, plans, log)) << fs.lastError;
        EXPECT_EQ(Content(fs), expected.state) << Describe(Content(fs));
        EXPECT_TRUE(NoJournalLeft(fs));
    }
    EXPECT_EQ(fs.FileAt("C:\\Orvexa\\update.bin").bytes, "new image");
    EXPECT_FALSE(fs.HasFile("C:\\Orvexa\\other.bin"));
}

// What is shown once the update is final comes before the journal's old
// files are deleted: at that point the record is gone (nothing will be
// rolled back) and the installation is the updated one; after it nothing of
// the journal is left. A run killed there leaves clean-up that the next run
// finishes without a rollback.
TEST_F(ContentInstallTest, TheResultComesOnceTheUpdateIsFinalBeforeTheCleanUp) {
    Plans plans = DemoPlans();
    ModelResult expected = Model(fs, plans);
    ASSERT_TRUE(expected.success);
    for (bool killedThere : {false, true}) {
        SCOPED_TRACE(killedThere);
        fake::Files run = fs;
        Lines lines;
        bool called = false;
        auto committed = [&]() {
            called = true;
            EXPECT_FALSE(RecordLeft(run));
            EXPECT_FALSE(NoJournalLeft(run));
            EXPECT_EQ(Content(run), expected.state) << Describe(Content(run));
            if (killedThere) throw fake::Crash();
        };
        ContentInstaller installer(run, Owner(), nullptr, lines);
        if (killedThere) {
            EXPECT_THROW(installer.InstallPlans(plans, committed), fake::Crash);
            Lines recovery;
            ASSERT_TRUE(Recover(run, recovery));
            EXPECT_EQ(Content(run), expected.state) << Describe(Content(run));
            EXPECT_FALSE(recovery.Has("interrupted")) << recovery.lines.front();
            EXPECT_FALSE(recovery.Has("restored"));
        } else {
            EXPECT_TRUE(installer.InstallPlans(plans, committed));
        }
        EXPECT_TRUE(called);
        EXPECT_TRUE(NoJournalLeft(run));
    }
}

// The result is shown only once the record's removal is on the disk: a
// power cut right then, with every name change not flushed lost, keeps the
// update. A flush the system refuses leaves the update standing, and says so.
TEST_F(ContentInstallTest, APowerCutOnceTheResultIsShownKeepsTheUpdate) {
    Plans plans = DemoPlans();
    ModelResult expected = Model(fs, plans);
    ASSERT_TRUE(expected.success);
    for (auto order : {fake::Files::NameOrder::kKept, fake::Files::NameOrder::kAny}) {
        SCOPED_TRACE(order == fake::Files::NameOrder::kKept ? "in order" : "any order");
        fake::Files run = fs;
        run.StartPowerCuts(order);
        ContentInstaller installer(run, Owner(), nullptr, log);
        std::mt19937 loseAll(1);
        fake::Files atResult;
        ASSERT_TRUE(installer.InstallPlans(plans, [&] {
            atResult = run;
            // The cut loses every name change not yet flushed.
            atResult.pending.clear();
            atResult.PowerCut(loseAll);
        }));
        Lines recovery;
        ASSERT_TRUE(Recover(atResult, recovery));
        EXPECT_EQ(Content(atResult), expected.state) << Describe(Content(atResult));
        EXPECT_FALSE(recovery.Has("interrupted"));
        EXPECT_EQ(order == fake::Files::NameOrder::kAny, log.Has("unordered C:\\Orvexa\\"));
    }
    fake::Files refusing = fs;
    refusing.failOn = "flush-folder";
    refusing.failCode = fake::kAccessDenied;
    Lines lines;
    EXPECT_TRUE(RunUpdate(refusing, plans, lines));
    EXPECT_TRUE(lines.Has("not flushed C:\\Orvexa\\.RIZezuvu-journal\\ 5"));
    EXPECT_EQ(Content(refusing), expected.state);
}

// A read-only image installed by the default entry's Firmware group and
// again by the product entry: killed before the commit, the next run must
// restore the very bytes the in-run rollback would.
TEST_F(ContentInstallTest, RecoveryUndoesInTheOrderStepsWereTaken) {
    fs.AddFile("C:\\Orvexa\\update.bin", "old image", true);
    State before = fs.Snapshot(kInstall);
    Plans plans = {{Purge(), Group(""), Copy("update.bin", "", "update.bin")},
                   {Group(""), Copy("update2.bin", "", "update.bin")}};
    fake::Files counted = fs;
    ASSERT_TRUE(RunUpdate(counted, plans, log));
    for (size_t crash = 1; crash <= counted.changes; ++crash) {
        SCOPED_TRACE(crash);
        fake::Files run = fs;
        run.crashAt = crash;
        try {
            RunUpdate(run, plans, log);
        } catch (const fake::Crash&) {
        }
        bool interrupted = RecordLeft(run);
        run.crashAt = 0;
        ASSERT_TRUE(Recover(run, log));
        if (interrupted) {
            EXPECT_EQ(run.Snapshot(kInstall), before) << Describe(run.Snapshot(kInstall));
        }
    }
    // In-run: the second copy fails (its source is held); all is put back.
    fake::Files failing = fs;
    failing.held.insert(fake::Key("C:\\Pkg\\update2.bin"));
    EXPECT_FALSE(RunUpdate(failing, plans, log));
    EXPECT_EQ(failing.lastError, fake::kSharingViolation);
    EXPECT_EQ(failing.Snapshot(kInstall), before);
    EXPECT_TRUE(log.Has("rollback complete"));
}

// Recovery after a kill undoes what the killed run did, found from the
// journal's files, and nothing else: a target it never reached keeps what
// an administrator wrote into it since, a file that something else put
// where a copy was still waiting in the journal stays, and a replaced
// target that something deleted meanwhile (a virus scanner's quarantine)
// comes back.
TEST_F(ContentInstallTest, RecoveryUndoesOnlyWhatTheKilledRunDid) {
    const std::string journal = "C:\\Orvexa\\.RIZezuvu-journal";
    fs.AddFolder(journal);
    fs.AddFolder(journal + "\\0");
    fs.AddFile(journal + "\\journal.txt",
               "RIZezuvu journal 3\nproduct {ORVEXA}\nfolder C:\\Orvexa\\\nmoved 1 player.dll\n"
               "moved 2 update.bin\nadded 3 added.dat\nmoved 4 other.bin\n"
               "moved 5 Skins\\a.skin\nmoved 6 Skins\\b.skin\n");
    // Step 1 was taken: the old file is in the journal, the new in place.
    fs.AddFile(journal + "\\0\\1.old", "old player", true);
    fs.AddFile("C:\\Orvexa\\player.dll", "new player");
    // Step 2 was never reached; the administrator edited the file since.
    fs.AddFile("C:\\Orvexa\\update.bin", "edited by hand");
    // Step 3's copy was made but never put in place; someone added the
    // file since.
    fs.AddFile(journal + "\\0\\3.new", "added");
    fs.AddFile("C:\\Orvexa\\added.dat", "someone else's");
    // Step 4 was taken, and its new file deleted since.
    fs.AddFile(journal + "\\0\\4.old", "other image");
    fs.files.erase(fake::Key("C:\\Orvexa\\other.bin"));
    // Step 5 kept the old file by a second name and put the new one over
    // it; step 6 was killed before its new file took the name.
    fs.AddFile("C:\\Orvexa\\Skins\\a.skin", "new skin");
    fs.AddFile(journal + "\\0\\5.linked", "old skin");
    fs.AddFile("C:\\Orvexa\\Skins\\b.skin", "old b");
    fs.AddHardLink("C:\\Orvexa\\Skins\\b.skin", journal + "\\0\\6.linked");
    fs.AddFile(journal + "\\0\\6.new", "new b");
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Lines lines;
        ASSERT_TRUE(Recover(fs, lines)) << fs.lastError;
        EXPECT_EQ(fs.FileAt("C:\\Orvexa\\player.dll"), (fake::File{"old player", true}));
        EXPECT_EQ(fs.FileAt("C:\\Orvexa\\update.bin").bytes, "edited by hand");
        EXPECT_EQ(fs.FileAt("C:\\Orvexa\\added.dat").bytes, "someone else's");
        EXPECT_EQ(fs.FileAt("C:\\Orvexa\\other.bin").bytes, "other image");
        EXPECT_EQ(fs.FileAt("C:\\Orvexa\\Skins\\a.skin").bytes, "old skin");
        EXPECT_EQ(fs.FileAt("C:\\Orvexa\\Skins\\b.skin").bytes, "old b");
        EXPECT_EQ(lines.Has("interrupted run rolled back"), run == 0);
        EXPECT_FALSE(lines.Has("removed"));
        EXPECT_TRUE(NoJournalLeft(fs));
    }
}

// A write goes where the object is, not where the path's text points: a
// target or a folder on the way that is a link leading out of the
// installation is refused before anything changes, inside and out.
TEST_F(ContentInstallTest, LinksLeadingOutsideAreRefusedBeforeAnythingChanges) {
    struct Case {
        const char* name;
        void (*arrange)(fake::Files&);
        const char* refused;
    } cases[] = {
        {"a target linked to a file outside",
         [](fake::Files& f) {
             f.files.erase(fake::Key("C:\\Orvexa\\update.bin"));
             f.AddLink("C:\\Orvexa\\update.bin", "D:\\Elsewhere\\update.bin");
             f.AddFile("C:\\Orvexa\\update.bin", "outside image");  // what the link shows
         },
         "C:\\Orvexa\\update.bin"},
        {"a group folder linked to a folder outside",
         [](fake::Files& f) {
             f.folders.erase(fake::Key("C:\\Orvexa\\Skins"));
             f.AddLink("C:\\Orvexa\\Skins", "D:\\Elsewhere");
             f.AddFolder("C:\\Orvexa\\Skins");  // what the link shows
         },
         "C:\\Orvexa\\Skins"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Files run = fs;
        run.AddFolder("D:");
        run.AddFolder("D:\\Elsewhere");
        run.AddFile("D:\\Elsewhere\\update.bin", "outside image");
        c.arrange(run);
        State before = run.Snapshot(kInstall);
        State outsideBefore = run.Snapshot("D:");
        Lines lines;
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_FALSE(RunUpdate(run, DemoPlans(), lines));
            EXPECT_EQ(run.lastError, fake::kCantAccessFile);
            EXPECT_TRUE(lines.Has(std::string("refused ") + c.refused + " outside"));
            EXPECT_EQ(run.Snapshot(kInstall), before);
            EXPECT_EQ(run.Snapshot("D:"), outsideBefore);
            EXPECT_TRUE(run.heldFolders.empty());
        }
    }
}

// An update replaces names: two names of one file given different bytes
// end with their own, and a name of it outside the installation keeps the
// old bytes.
TEST_F(ContentInstallTest, EachNameOfAFileWithSeveralGetsItsOwnBytes) {
    fs.AddFolder("D:");
    fs.AddFile("C:\\Orvexa\\Skins\\a.skin", "old skin");
    fs.AddHardLink("C:\\Orvexa\\Skins\\a.skin", "C:\\Orvexa\\a.skin");
    fs.AddHardLink("C:\\Orvexa\\Skins\\a.skin", "D:\\a.skin");
    fs.AddFile("C:\\Pkg\\b.skin", "other skin");
    Plans plans = {{Group(""), Copy("b.skin", "", "a.skin"), Group("Skins"),
                    Copy("a.skin", "Skins", "a.skin")}};
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(RunUpdate(fs, plans, log)) << fs.lastError;
        EXPECT_EQ(fs.FileAt("C:\\Orvexa\\a.skin").bytes, "other skin");
        EXPECT_EQ(fs.FileAt("C:\\Orvexa\\Skins\\a.skin").bytes, "skin");
        EXPECT_EQ(fs.FileAt("D:\\a.skin").bytes, "old skin");
    }
}

// A file that another program has loaded (a DLL) can be renamed but not
// deleted nor renamed over: it is renamed aside and the new one put in its
// place, and only its old copy waits in the journal until it is free; a
// failed run puts it back. The same on a volume without hard links.
TEST_F(ContentInstallTest, AFileAnotherProgramHasLoadedIsReplacedOrPutBackWhole) {
    for (bool hardLinks : {true, false}) {
        SCOPED_TRACE(hardLinks);
        fake::Files run = fs;
        run.hardLinks = hardLinks;
        run.loaded.insert(run.FileAt("C:\\Orvexa\\update.bin").id);
        State before = Content(run);
        // A failed run (the last source is missing) puts everything back.
        fake::Files failing = run;
        failing.files.erase(fake::Key("C:\\Pkg\\a.skin"));
        Plans failingPlans = {{Purge(), Group(""), Copy("update.bin", "", "update.bin")},
                              {Group("Skins"), Copy("a.skin", "Skins", "a.skin")}};
        EXPECT_FALSE(RunUpdate(failing, failingPlans, log));
        EXPECT_EQ(failing.lastError, fake::kFileNotFound);
        EXPECT_EQ(Content(failing), before) << Describe(Content(failing));
        // A run that ends well replaces it, twice in a row.
        for (int again = 0; again < 2; ++again) {
            ASSERT_TRUE(RunUpdate(run, DemoPlans(), log)) << run.lastError;
            EXPECT_EQ(run.FileAt("C:\\Orvexa\\update.bin").bytes, "new image");
        }
        EXPECT_FALSE(NoJournalLeft(run));
        run.loaded.clear();
        ASSERT_TRUE(RunUpdate(run, DemoPlans(), log));
        EXPECT_TRUE(NoJournalLeft(run));
    }
}

// Whoever can write the installation folder can leave something there in
// the journal's name: a link to a folder elsewhere, a record whose folder
// is a link, a sub-folder that is one. Nothing is read, moved or deleted
// through any of them.
TEST_F(ContentInstallTest, APlantedJournalNeverLeadsOutside) {
    const std::string journal = "C:\\Orvexa\\.RIZezuvu-journal";
    struct Case {
        const char* name;
        void (*arrange)(fake::Files&, const std::string&);
        bool updates;  // else refused: 1920, nothing changed
    } cases[] = {
        {"the journal's name a link to a folder elsewhere",
         [](fake::Files& f, const std::string& j) {
             f.AddLink(j, "D:\\Victim");
             f.AddFolder(j);  // what the link shows
             f.AddFile(j + "\\victim.txt", "someone's");
         },
         true},
        {"a sub-folder of a left journal a link to a folder elsewhere",
         [](fake::Files& f, const std::string& j) {
             f.AddFolder(j);
             f.AddLink(j + "\\0", "D:\\Victim");
             f.AddFolder(j + "\\0");
             f.AddFile(j + "\\0\\victim.txt", "someone's");
         },
         true},
        {"a record whose folder is a link to a folder elsewhere",
         [](fake::Files& f, const std::string& j) {
             f.AddFolder(j);
             f.AddFolder(j + "\\0");
             f.AddFile(j + "\\journal.txt",
                       "RIZezuvu journal 3\nproduct {ORVEXA}\nfolder C:\\Orvexa\\\nmoved 1 "
                       "Skins\\victim.txt\n");
             f.AddFile(j + "\\0\\1.old", "planted");
             f.folders.erase(fake::Key("C:\\Orvexa\\Skins"));
             f.AddLink("C:\\Orvexa\\Skins", "D:\\Victim");
             f.AddFolder("C:\\Orvexa\\Skins");
             f.AddFile("C:\\Orvexa\\Skins\\victim.txt", "someone's");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Files run = fs;
        run.AddFolder("D:");
        run.AddFolder("D:\\Victim");
        c.arrange(run, journal);
        State before = run.Snapshot(kInstall);
        Lines lines;
        // What the links show: their files stay whatever the run does.
        std::vector<std::string> shown;
        for (const auto& file : run.files)
            if (file.first.find("victim.txt") != std::string::npos) shown.push_back(file.first);
        EXPECT_EQ(RunUpdate(run, {{Group(""), Copy("player.dll", "", "player.dll")}}, lines),
                  c.updates)
            << run.lastError;
        for (const std::string& key : shown) {
            ASSERT_TRUE(run.files.count(key)) << key;
            EXPECT_EQ(run.files.at(key).second.bytes, "someone's") << key;
        }
        if (!c.updates) {
            EXPECT_EQ(run.lastError, fake::kCantAccessFile);
            EXPECT_TRUE(lines.Has("refused C:\\Orvexa\\Skins outside"));
            EXPECT_EQ(run.Snapshot(kInstall), before);
        }
    }
}

// A rollback that leaves something in the journal's folder (a file another
// program holds) says so, by name, after every file is back.
TEST_F(ContentInstallTest, ARollbackNamesWhatItLeftInTheJournal) {
    State before = fs.Snapshot(kInstall);
    // Another program creates the target just before the new a.skin would
    // take its name, and holds the journal's copy open.
    fs.beforeOperation = [](fake::Files& f, const std::string& operation, const std::string& path) {
        if (operation == "move" && path.find("\\2.new") != std::string::npos &&
            !f.HasFile("C:\\Orvexa\\Skins\\a.skin")) {
            f.AddFile("C:\\Orvexa\\Skins\\a.skin", "someone else's");
            f.held.insert(fake::Key(path));
        }
    };
    EXPECT_FALSE(RunUpdate(fs, DemoPlans(), log));
    EXPECT_EQ(fs.lastError, fake::kAlreadyExists);
    EXPECT_TRUE(log.Has("rollback complete"));
    EXPECT_TRUE(log.Has("left C:\\Orvexa\\.RIZezuvu-journal\\0\\2.new 32"));
    State after = Content(fs);
    EXPECT_EQ(after.at("skins\\a.skin").bytes, "someone else's");
    after.erase("skins\\a.skin");
    State expected = before;
    for (auto it = expected.begin(); it != expected.end();)
        it = it->first.compare(0, 10, ".rizezuvu-") == 0 ? expected.erase(it) : std::next(it);
    EXPECT_EQ(after, expected);
    fs.held.clear();
    fs.beforeOperation = nullptr;
    fs.files.erase(fake::Key("C:\\Orvexa\\Skins\\a.skin"));
    EXPECT_TRUE(RunUpdate(fs, DemoPlans(), log));
    EXPECT_TRUE(NoJournalLeft(fs));
}

TEST_F(ContentInstallTest, ARecordWithoutAWholeStepIsRemovedAndTheUpdateGoesOn) {
    for (const std::string& text :
         {std::string(), std::string("RIZezuvu journal 3\npro"), std::string(16, '\0')}) {
        SCOPED_TRACE(text.size());
        fake::Files run = fs;
        run.AddFolder("C:\\Orvexa\\.RIZezuvu-journal");
        run.AddFile("C:\\Orvexa\\.RIZezuvu-journal\\journal.txt", text);
        Lines lines;
        ASSERT_TRUE(RunUpdate(run, DemoPlans(), lines)) << run.lastError;
        EXPECT_TRUE(lines.Has("empty removed C:\\Orvexa\\.RIZezuvu-journal"));
        EXPECT_FALSE(lines.Has("interrupted"));
        EXPECT_EQ(Content(run), Model(fs, DemoPlans()).state);
    }
}

// The commit could not delete a kept old file (a scanner held it): the
// leftover never blocks a later run, and goes once it is free.
TEST_F(ContentInstallTest, LeftoversOfAFinishedRunNeverBlockTheNext) {
    fs.AddFolder("C:\\Orvexa\\.RIZezuvu-journal");
    fs.AddFolder("C:\\Orvexa\\.RIZezuvu-journal\\0");
    fs.AddFile("C:\\Orvexa\\.RIZezuvu-journal\\0\\1.old", "kept");
    fs.held.insert(fake::Key("C:\\Orvexa\\.RIZezuvu-journal\\0\\1.old"));
    Plans plans = DemoPlans();
    State expected = Model(fs, plans).state;
    ASSERT_TRUE(RunUpdate(fs, plans, log)) << fs.lastError;
    EXPECT_TRUE(log.Has("leftover kept C:\\Orvexa\\.RIZezuvu-journal"));
    EXPECT_EQ(Content(fs), expected);
    EXPECT_TRUE(fs.HasFile("C:\\Orvexa\\.RIZezuvu-journal\\0\\1.old"));
    // A run killed now leaves its journal under the next free name; the
    // next run rolls that back and still steps around the leftover.
    State before = Content(fs);
    fake::Files killed;
    for (size_t crash = 1;; ++crash) {
        killed = fs;
        killed.operations = killed.changes = 0;
        killed.crashAt = crash;
        EXPECT_THROW(RunUpdate(killed, plans, log), fake::Crash);
        if (RecordLeft(killed)) break;
        ASSERT_LT(crash, 50u);
    }
    EXPECT_TRUE(killed.HasFile("C:\\Orvexa\\.RIZezuvu-journal-2\\journal.txt"));
    killed.crashAt = 0;
    ASSERT_TRUE(Recover(killed, log));
    EXPECT_EQ(Content(killed), before);
    // Released: the next run finishes the clean-up.
    fs.held.clear();
    ASSERT_TRUE(RunUpdate(fs, plans, log));
    EXPECT_TRUE(NoJournalLeft(fs));
}

TEST_F(ContentInstallTest, AnotherInstallationsJournalIsSetAsideNeverRestored) {
    Plans plans = DemoPlans();
    fake::Files killed = fs;
    killed.crashAt = 10;
    EXPECT_THROW(RunUpdate(killed, plans, log, Owner("{OLD}")), fake::Crash);
    killed.crashAt = 0;
    ASSERT_TRUE(RecordLeft(killed));
    State atCrash = killed.Snapshot(kInstall);
    // The product was installed again since: its journal is not this one's.
    Lines lines;
    ASSERT_TRUE(Recover(killed, lines, Owner("{NEW}")));
    EXPECT_TRUE(
        lines.Has("foreign C:\\Orvexa\\.RIZezuvu-journal of {OLD} as "
                  "C:\\Orvexa\\.RIZezuvu-set-aside-1"));
    EXPECT_FALSE(lines.Has("restored"));
    EXPECT_FALSE(lines.Has("removed"));
    EXPECT_TRUE(killed.HasFolder("C:\\Orvexa\\.RIZezuvu-set-aside-1"));
    // Nothing but the journal's folder changed, and the update runs.
    State after = killed.Snapshot(kInstall);
    for (auto* state : {&atCrash, &after}) {
        for (auto it = state->begin(); it != state->end();)
            it = it->first.find(".rizezuvu-") == 0 ? state->erase(it) : std::next(it);
    }
    EXPECT_EQ(after, atCrash);
    EXPECT_TRUE(RunUpdate(killed, plans, lines, Owner("{NEW}")));
}

TEST_F(ContentInstallTest, AJournalThatCantBeReadStopsTheRunAndChangesNothing) {
    fs.AddFolder("C:\\Orvexa\\.RIZezuvu-journal");
    fs.AddFile("C:\\Orvexa\\.RIZezuvu-journal\\journal.txt",
               "RIZezuvu journal 3\nproduct {ORVEXA}\nfolder C:\\Orvexa\\\nadded 1 ..\\x\n");
    State before = fs.Snapshot(kInstall);
    EXPECT_FALSE(RunUpdate(fs, DemoPlans(), log));
    EXPECT_EQ(fs.lastError, kInvalidData);
    EXPECT_TRUE(log.Has("unreadable C:\\Orvexa\\.RIZezuvu-journal"));
    EXPECT_EQ(fs.Snapshot(kInstall), before);
}

TEST_F(ContentInstallTest, TheJournalsFolderIsNeverATarget) {
    PlanStep intoJournal = Copy("a.skin", ".RIZezuvu-journal\\0", "1.old");
    ContentInstaller installer(fs, Owner(), nullptr, log);
    State before = fs.Snapshot(kInstall);
    EXPECT_FALSE(installer.InstallPlans({{Group(""), Copy("a.skin", "", "a.skin"), intoJournal}}));
    EXPECT_EQ(fs.lastError, kInvalidData);
    EXPECT_EQ(fs.Snapshot(kInstall), before);
}

// Faults the user meets, each in a fresh installation: the run ends with
// the system's code, and nothing is lost.
TEST_F(ContentInstallTest, FailuresRollBackWithTheFailingStepsCode) {
    struct Case {
        const char* name;
        void (*arrange)(fake::Files&);
        unsigned long code;
    } cases[] = {
        {"target held open",
         [](fake::Files& f) { f.held.insert(fake::Key("C:\\Orvexa\\update.bin")); },
         fake::kSharingViolation},
        {"source missing", [](fake::Files& f) { f.files.erase(fake::Key("C:\\Pkg\\update.bin")); },
         fake::kFileNotFound},
        {"group folder missing",
         [](fake::Files& f) { f.folders.erase(fake::Key("C:\\Orvexa\\Skins")); },
         fake::kFileNotFound},
        {"disk full in a copy",
         [](fake::Files& f) {
             f.failOn = "copy";
             f.failCode = fake::kDiskFull;
         },
         fake::kDiskFull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Files run = fs;
        c.arrange(run);
        State before = run.Snapshot(kInstall);
        bool held = !run.held.empty();
        EXPECT_FALSE(RunUpdate(run, DemoPlans(), log));
        EXPECT_EQ(run.lastError, c.code) << run.failedOperation;
        EXPECT_EQ(run.Snapshot(kInstall), before);
        if (!held) {
            EXPECT_TRUE(NoJournalLeft(run));
        }
    }
}

// ---- The model-based test ----

struct Scenario {
    fake::Files fs;
    Plans plans;
};

Scenario RandomScenario(std::mt19937& random) {
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    Scenario s;
    fake::Files& fs = s.fs;
    fs.AddFolder("C:");
    fs.AddFolder(kInstall);
    fs.AddFolder(kPackage);
    fs.hardLinks = chance(80);
    bool skins = chance(70);
    if (skins) fs.AddFolder("C:\\Orvexa\\Skins");
    // Names that repeat across entries and groups, and differ only in case.
    const std::vector<std::string> names = {"a.dll",      "B.dll",  "b.DLL",    "update.bin",
                                            "UPDATE.BIN", "fw.bin", "notes.txt"};
    for (const std::string& name : names) {
        if (chance(40))
            fs.AddFile(kBase + name, "old " + name + std::to_string(random() % 9), chance(25));
        if (skins && chance(20))
            fs.AddFile(std::string(kBase) + "Skins\\" + name, "old skin " + name);
    }
    for (int i = 0; i < 5; ++i) {
        if (chance(90))
            fs.AddFile(std::string(kPackage) + "\\s" + std::to_string(i),
                       "new " + std::to_string(i) + "-" + std::to_string(random() % 9), chance(20));
    }
    // A second name of a file, and now and then a link out of the
    // installation where a group folder or a file would be.
    if (chance(20) && !fs.files.empty()) {
        auto it = fs.files.begin();
        std::advance(it, static_cast<long>(pick(fs.files.size())));
        std::string second =
            std::string(kBase) + (skins ? "Skins\\" : "") + names[pick(names.size())];
        if (!fs.HasFile(second) && it->first.find("\\pkg\\") == std::string::npos)
            fs.AddHardLink(it->second.first, second);
    }
    if (chance(8)) {
        fs.AddFolder("D:");
        if (skins && chance(50)) {
            fs.AddLink("C:\\Orvexa\\Skins", "D:");
        } else {
            std::string name = std::string(kBase) + names[pick(names.size())];
            fs.AddFile("D:\\linked", "outside bytes");
            fs.AddFile(name, "outside bytes");
            fs.AddLink(name, "D:\\linked");
        }
    }
    if (chance(10) && !fs.files.empty()) {
        auto it = fs.files.begin();
        std::advance(it, static_cast<long>(pick(fs.files.size())));
        fs.held.insert(it->first);
    }
    // A file another program has loaded: renamed aside and replaced all
    // the same; only its old copy stays in the journal until it is free.
    if (chance(10) && !fs.files.empty()) {
        auto it = fs.files.begin();
        std::advance(it, static_cast<long>(pick(fs.files.size())));
        fs.loaded.insert(it->second.second.id);
    }
    size_t entries = 1 + pick(3);
    for (size_t e = 0; e < entries; ++e) {
        std::vector<PlanStep> plan;
        size_t groups = pick(4);
        for (size_t g = 0; g < groups; ++g) {
            if (chance(35)) plan.push_back(Purge());
            std::string dir = chance(60) ? "" : chance(85) ? "Skins" : "Missing";
            plan.push_back(Group(dir));
            size_t copies = pick(5);
            for (size_t c = 0; c < copies; ++c) {
                if (chance(3)) plan.push_back(Fault());
                plan.push_back(Copy("s" + std::to_string(pick(5)), dir, names[pick(names.size())]));
            }
        }
        s.plans.push_back(plan);
    }
    return s;
}

// True when the run whose journal is in `fs` has taken a step for
// `target` (its old file, or the mark of its new one, is in the journal):
// from then on the name is the run's, and its rollback puts back there
// what was before, whatever another program put there meanwhile.
bool RunReached(const fake::Files& fs, const std::string& target) {
    const std::string relative = fake::Key(target).substr(10);
    for (const auto& file : fs.files) {
        const std::string& key = file.first;
        if (key.find(".rizezuvu-journal") == std::string::npos ||
            key.compare(key.size() - 11, 11, "journal.txt") != 0)
            continue;
        const std::string folder = key.substr(0, key.size() - 11);
        const std::string& record = file.second.second.bytes;
        for (size_t start = 0; start < record.size();) {
            size_t end = record.find('\n', start);
            if (end == std::string::npos) break;
            std::string line = record.substr(start, end - start);
            start = end + 1;
            for (const char* kind : {"moved ", "added "}) {
                size_t at = line.find(kind);
                if (at == std::string::npos) continue;
                size_t space = line.find(' ', at + 6);
                if (space == std::string::npos || fake::Key(line.substr(space + 1)) != relative)
                    continue;
                unsigned index = static_cast<unsigned>(std::stoul(line.substr(at + 6)));
                std::string bucket =
                    folder + std::to_string((index - 1) / 64) + "\\" + std::to_string(index);
                if (fs.files.count(bucket + ".old") || fs.files.count(bucket + ".adding"))
                    return true;
            }
        }
    }
    return false;
}

// Checks one scenario; false at the first mismatch (gtest says which).
void CheckScenario(const Scenario& scenario, unsigned seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const fake::Files& start = scenario.fs;
    const Plans& plans = scenario.plans;
    const State before = Content(start);
    const ModelResult expected = Model(start, plans);

    // A clean run, and the same update again.
    fake::Files clean = start;
    Lines log;
    ASSERT_EQ(RunUpdate(clean, plans, log), expected.success) << clean.lastError;
    ASSERT_EQ(Content(clean), expected.state) << Describe(Content(clean));
    if (!expected.success) {
        ASSERT_NE(clean.lastError, 0u);
    }
    if (start.held.empty() && start.loaded.empty()) {
        ASSERT_TRUE(NoJournalLeft(clean));
    }
    const size_t operations = clean.operations;
    const size_t changes = clean.changes;
    {
        fake::Files again = clean;
        ModelResult second = Model(clean, plans);
        ASSERT_EQ(RunUpdate(again, plans, log), second.success);
        ASSERT_EQ(Content(again), second.state);
    }

    // Killed at every change: the next run puts everything back (or, past
    // the commit, keeps the update), also when it is itself killed once.
    for (size_t crash = 1; crash <= changes; ++crash) {
        SCOPED_TRACE("crash at change " + std::to_string(crash));
        fake::Files run = start;
        run.crashAt = crash;
        Lines runLog;
        try {
            RunUpdate(run, plans, runLog);
            continue;  // ended before that change
        } catch (const fake::Crash&) {
        }
        if (std::getenv("RIZEZUVU_MODEL_VERBOSE") != nullptr)
            for (const std::string& line : runLog.lines)
                std::fprintf(stderr, "  run: %s\n", line.c_str());
        bool interrupted = RecordLeft(run);
        if (crash % 4 == 0) {
            fake::Files recovering = run;
            recovering.changes = 0;
            recovering.crashAt = 1 + crash % 7;
            try {
                Recover(recovering, log);
            } catch (const fake::Crash&) {
            }
            recovering.crashAt = 0;
            run = recovering;
        }
        run.crashAt = 0;
        // RIZEZUVU_MODEL_VERBOSE=1: each crash's files, record and recovery
        // on standard error, to follow a failing seed.
        const bool verbose = std::getenv("RIZEZUVU_MODEL_VERBOSE") != nullptr;
        std::string atCrash;
        for (const auto& file : run.files) {
            atCrash += "  file " + file.first + "\n";
            if (file.first.find("journal.txt") != std::string::npos) {
                atCrash += "  record:\n" + file.second.second.bytes + "\n";
            }
        }
        Lines recoveryLog;
        ASSERT_TRUE(Recover(run, recoveryLog))
            << run.lastError << " " << (recoveryLog.lines.empty() ? "" : recoveryLog.lines.back());
        State recovered = Content(run);
        if (verbose) {
            std::fprintf(stderr, "crash at change %lu:\n%s", static_cast<unsigned long>(crash),
                         atCrash.c_str());
            for (const std::string& line : recoveryLog.lines)
                std::fprintf(stderr, "  recovery: %s\n", line.c_str());
        }
        if (interrupted) {
            ASSERT_EQ(recovered, before) << Describe(recovered);
        } else {
            ASSERT_TRUE(recovered == before || recovered == expected.state) << Describe(recovered);
        }
        if (start.held.empty() && start.loaded.empty()) {
            ASSERT_TRUE(NoJournalLeft(run));
        }
        ModelResult next = Model(run, plans);
        ASSERT_EQ(RunUpdate(run, plans, log), next.success);
        ASSERT_EQ(Content(run), next.state);
    }

    // Failed at every operation, with a code such an operation gets.
    const int purges = PurgeCount(plans);
    for (size_t fault = 1; fault <= operations; ++fault) {
        SCOPED_TRACE("fault at operation " + std::to_string(fault));
        fake::Files run = start;
        run.failAt = fault;
        const unsigned long codes[] = {fake::kSharingViolation, fake::kAccessDenied,
                                       fake::kDiskFull};
        run.failCode = codes[fault % 3];
        bool ok = RunUpdate(run, plans, log);
        run.failAt = 0;
        State after = Content(run);
        if (ok) {
            // A tolerated fault (a purge that stops, a clean-up left for
            // later) still gives what the copy gives in that case.
            bool matches = after == expected.state;
            for (int p = 0; p < purges && !matches; ++p) {
                for (int image = 0; image < 8 && !matches; ++image) {
                    for (bool later : {false, true}) {
                        ModelResult variant = Model(start, plans, {p, image}, later);
                        matches = matches || (variant.success && after == variant.state);
                    }
                }
            }
            ASSERT_TRUE(matches) << run.failedOperation << ": " << Describe(after);
        } else {
            ASSERT_NE(run.lastError, 0u);
            if (RecordLeft(run)) {
                // The rollback itself failed: the next run finishes it.
                ASSERT_TRUE(Recover(run, log)) << run.failedOperation;
            }
            ASSERT_EQ(Content(run), before)
                << run.failedOperation << ": " << Describe(Content(run));
        }
        ASSERT_TRUE(Recover(run, log));
        if (start.held.empty() && start.loaded.empty()) {
            ASSERT_TRUE(NoJournalLeft(run)) << run.failedOperation;
        }
        ModelResult next = Model(run, plans);
        ASSERT_EQ(RunUpdate(run, plans, log), next.success);
        ASSERT_EQ(Content(run), next.state);
    }

    // Another program edits or deletes a file of the installation, or makes
    // one where the update will add one, between any two operations of the
    // run, or between a kill and the recovery. The update and its undo act
    // on what the run did, by name: a file the run had not yet reached
    // keeps the other program's change unless the update then replaces it;
    // a file the run replaced is put back as it was by a rollback, whatever
    // happened to the new one; a file the run did not make is never removed.
    std::vector<std::string> installed, added;
    for (const auto& file : start.files) {
        const std::string& key = file.first;
        if (key.compare(0, 10, "c:\\orvexa\\") == 0 && key.find(".rizezuvu-") == std::string::npos)
            installed.push_back(file.second.first);
    }
    // (An image that the update adds, a later purge of the same run may
    // take aside again: its name is the run's until the end.)
    const bool purged = PurgeCount(plans) > 0;
    for (const auto& plan : plans)
        for (const PlanStep& step : plan)
            if (step.kind == PlanStep::Kind::kCopyFile && !start.HasFile(step.target) &&
                !(purged && fake::Key(step.target).size() > 4 &&
                  fake::Key(step.target).compare(fake::Key(step.target).size() - 4, 4, ".bin") ==
                      0) &&
                !start.HasFolder(step.target) &&
                start.HasFolder(step.target.substr(0, step.target.find_last_of('\\'))))
                added.push_back(step.target);
    if (installed.empty() && added.empty()) return;
    std::mt19937 outsideRandom(seed ^ 0x5eedu);
    enum { kEdits, kDeletes, kMakes };
    for (size_t at = 0; at < operations + changes; ++at) {
        int kind = static_cast<int>(outsideRandom() % 3);
        if (kind == kMakes && added.empty()) kind = kEdits;
        if (kind != kMakes && installed.empty()) kind = kMakes;
        const std::vector<std::string>& from = kind == kMakes ? added : installed;
        const std::string victim = from[outsideRandom() % from.size()];
        SCOPED_TRACE(std::string(kind == kEdits     ? "edit "
                                 : kind == kDeletes ? "delete "
                                                    : "make ") +
                     victim + " at " + std::to_string(at));
        bool acted = false;
        auto act = [&](fake::Files& f) {
            if (kind == kMakes) {
                if (f.HasFile(victim) || f.HasFolder(victim)) return;
                f.AddFile(victim, "made by another program");
            } else if (!f.HasFile(victim) || f.held.count(fake::Key(victim)) ||
                       f.loaded.count(f.FileAt(victim).id)) {
                // (A file held open without sharing, or loaded by a
                // program, can be neither deleted nor written.)
                return;
            } else if (kind == kDeletes) {
                f.files.erase(fake::Key(victim));
                f.links.erase(fake::Key(victim));
            } else {
                f.EditFile(victim, "edited by another program");
            }
            acted = true;
        };
        // The same on a state: an edit shows in every name of the file.
        auto actOn = [&](State state) {
            std::string key = fake::Key(victim).substr(10);
            if (kind == kMakes) {
                if (state.count(key) == 0) state[key] = fake::File{"made by another program"};
                return state;
            }
            if (state.count(key) == 0) return state;
            if (kind == kDeletes) {
                state.erase(key);
                return state;
            }
            const int id = state[key].id;
            for (auto& entry : state)
                if (entry.second.id == id) entry.second.bytes = "edited by another program";
            return state;
        };
        fake::Files changed = start;
        act(changed);
        acted = false;
        const State beforeActed = Content(changed);
        const ModelResult actedFirst = Model(changed, plans);
        // After a failure: what the other program made stays; what it
        // changed stays unless the rollback put back an old file there.
        auto rolledBack = [&](const State& result) {
            if (kind == kMakes) return result == (acted ? beforeActed : before);
            return result == beforeActed || result == before;
        };
        fake::Files run = start;
        if (at < operations) {
            // During the run.
            bool reachedFirst = false;
            run.beforeOperation = [&](fake::Files& f, const std::string&, const std::string&) {
                if (f.operations != at) return;
                reachedFirst = RunReached(f, victim);
                act(f);
            };
            // A file deleted or made just before the run renames it fails
            // the run (which is then rolled back); nothing makes it pass
            // where it would fail both before and after the change.
            bool ok = RunUpdate(run, plans, log);
            run.beforeOperation = nullptr;
            ASSERT_TRUE(expected.success || actedFirst.success || !ok);
            State result = Content(run);
            if (ok) {
                // (An edit of a file that a later copy of the run replaces
                // again is gone with it.)
                int copiesOfVictim = 0;
                for (const auto& plan : plans)
                    for (const PlanStep& step : plan)
                        copiesOfVictim += step.kind == PlanStep::Kind::kCopyFile &&
                                          fake::Key(step.target) == fake::Key(victim);
                ASSERT_TRUE(result == actedFirst.state ||
                            result == (acted ? actOn(expected.state) : expected.state) ||
                            (copiesOfVictim > 1 && result == expected.state))
                    << Describe(result);
            } else {
                if (RecordLeft(run)) {
                    ASSERT_TRUE(Recover(run, log)) << run.lastError;
                }
                result = Content(run);
                ASSERT_TRUE(rolledBack(result) || (reachedFirst && result == before))
                    << Describe(result);
            }
        } else {
            // Between a kill and the recovery.
            run.crashAt = at - operations + 1;
            try {
                RunUpdate(run, plans, log);
                continue;
            } catch (const fake::Crash&) {
            }
            run.crashAt = 0;
            bool interrupted = RecordLeft(run);
            State atCrash = Content(run);
            const bool reached = RunReached(run, victim);
            act(run);
            ASSERT_TRUE(Recover(run, log)) << run.lastError;
            State result = Content(run);
            // A name whose step the killed run had reached is the
            // rollback's to put back as it was.
            if (interrupted && reached) {
                ASSERT_TRUE(result == before || rolledBack(result)) << Describe(result);
            } else if (interrupted) {
                ASSERT_TRUE(rolledBack(result)) << Describe(result);
            } else {
                ASSERT_EQ(result, acted ? actOn(atCrash) : atCrash) << Describe(result);
            }
        }
        if (start.held.empty() && start.loaded.empty()) {
            ASSERT_TRUE(NoJournalLeft(run));
        }
    }
}

// How many names hold something else in `a` than in `b` (or are in one only).
size_t NamesApart(const State& a, const State& b) {
    size_t apart = 0;
    for (const auto& entry : a) {
        auto other = b.find(entry.first);
        apart += other == b.end() || !(other->second == entry.second);
    }
    for (const auto& entry : b) apart += a.count(entry.first) == 0;
    return apart;
}

// The power is cut at every change of the run (and once after its last),
// and every third time again during the recovery that follows: the disk
// keeps only what was made durable, with the pending changes it keeps
// drawn from `random`. Recovered, the installation is exactly as before or
// exactly as after, and exactly as after once the result was shown.
void CheckPowerCuts(const Scenario& scenario, unsigned seed, fake::Files::NameOrder order) {
    SCOPED_TRACE(std::string("power cuts, names ") +
                 (order == fake::Files::NameOrder::kKept ? "in order" : "in any order"));
    const fake::Files& start = scenario.fs;
    const Plans& plans = scenario.plans;
    const State before = Content(start);
    const ModelResult expected = Model(start, plans);
    Lines log;
    fake::Files counted = start;
    counted.StartPowerCuts(order);
    // Records here are short: small sectors tear them between lines too.
    counted.sector = 16;
    bool shown = false;
    RunShowingResult(counted, plans, log, shown);
    std::mt19937 random(seed ^ 0xc0ffeeu);
    for (size_t cut = 1; cut <= counted.changes + 1; ++cut) {
        SCOPED_TRACE("power cut at change " + std::to_string(cut));
        fake::Files run = start;
        run.StartPowerCuts(order);
        run.sector = counted.sector;
        run.crashAt = cut;
        bool resultShown = false;
        try {
            RunShowingResult(run, plans, log, resultShown);
        } catch (const fake::Crash&) {
        }
        run.crashAt = 0;
        std::string drawn = "cut: " + run.PowerCut(random);
        if (cut % 3 == 0) {
            run.changes = 0;
            run.crashAt = 1 + (cut / 3) % 6;
            try {
                Recover(run, log);
            } catch (const fake::Crash&) {
            }
            run.crashAt = 0;
            drawn += "\nrecovery cut: " + run.PowerCut(random);
        }
        std::string atCut;
        for (const auto& file : run.files) {
            atCut += "  file " + file.first + "\n";
            if (file.first.find("journal.txt") != std::string::npos)
                atCut += "  record:\n" + file.second.second.bytes + "\n";
        }
        Lines recoveryLog;
        const bool recoveredOk = Recover(run, recoveryLog);
        if (std::getenv("RIZEZUVU_MODEL_VERBOSE") != nullptr) {
            std::fprintf(stderr, "power cut at change %lu: %s\n%s", static_cast<unsigned long>(cut),
                         drawn.c_str(), atCut.c_str());
            for (const std::string& line : recoveryLog.lines)
                std::fprintf(stderr, "  recovery: %s\n", line.c_str());
        }
        ASSERT_TRUE(recoveredOk) << run.lastError << "\n" << drawn;
        const State recovered = Content(run);
        if (resultShown) {
            ASSERT_EQ(recovered, expected.state)
                << "the result was shown: " << Describe(recovered) << "\n"
                << drawn;
        } else if (order == fake::Files::NameOrder::kKept) {
            ASSERT_TRUE(recovered == before || recovered == expected.state)
                << Describe(recovered) << "\n"
                << drawn;
        } else {
            // Nothing orders the two halves of a rename from the journal's
            // folder to the installation's: the one file whose step the cut
            // fell in may be left missing, or new among the old ones.
            ASSERT_TRUE(NamesApart(recovered, before) <= 1 ||
                        NamesApart(recovered, expected.state) <= 1)
                << Describe(recovered) << "\n"
                << drawn;
        }
        if (start.held.empty() && start.loaded.empty()) {
            ASSERT_TRUE(NoJournalLeft(run)) << drawn;
        }
    }
}

// A fixed seed here; tools/model_test.sh runs many more
// (RIZEZUVU_MODEL_SEED, RIZEZUVU_MODEL_RUNS).
TEST(ContentInstallModelTest, EveryRunCrashAndFaultEndsAsTheModelSays) {
    unsigned seed = 20261210;
    int runs = 150;
    if (const char* value = std::getenv("RIZEZUVU_MODEL_SEED"))
        seed = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
    if (const char* value = std::getenv("RIZEZUVU_MODEL_RUNS")) runs = std::atoi(value);
    // How the power cuts keep names: both ways, or only "kept" (NTFS, ReFS:
    // in the order made) or "any" (FAT, exFAT: any subset).
    std::vector<fake::Files::NameOrder> orders = {fake::Files::NameOrder::kKept,
                                                  fake::Files::NameOrder::kAny};
    if (const char* value = std::getenv("RIZEZUVU_MODEL_NAME_ORDER")) {
        orders = {std::string(value) == "any" ? fake::Files::NameOrder::kAny
                                              : fake::Files::NameOrder::kKept};
    }
    for (int i = 0; i < runs; ++i) {
        unsigned scenarioSeed = seed + static_cast<unsigned>(i);
        std::mt19937 random(scenarioSeed);
        Scenario scenario = RandomScenario(random);
        // RIZEZUVU_MODEL_POWER_ONLY=1: the power cuts alone.
        if (std::getenv("RIZEZUVU_MODEL_POWER_ONLY") == nullptr)
            CheckScenario(scenario, scenarioSeed);
        for (fake::Files::NameOrder order : orders) {
            if (!::testing::Test::HasFatalFailure()) CheckPowerCuts(scenario, scenarioSeed, order);
        }
        if (::testing::Test::HasFatalFailure()) {
            std::fprintf(stderr,
                         "model test failed: RIZEZUVU_MODEL_SEED=%u RIZEZUVU_MODEL_RUNS=1\n",
                         scenarioSeed);
            return;
        }
    }
}

}  // namespace
