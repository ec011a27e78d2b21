// Installing the update package's content: the plans worked out from the
// configuration (install/install_plan.h) carried out step by step through
// the install journal, and the recovery of what an interrupted run left.
// Pure logic over JournalFiles: the program runs it on the real file system
// (install/update_context_content_win.cpp), the tests on one that fails or crashes at any
// operation.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "install/install_journal.h"
#include "install/install_plan.h"

// The lines the content installation writes to the log, as it goes. Like
// every RollbackListener, each call leaves the last error as it found it:
// the failure report names the step that failed, not the log line after it.
class ContentInstallLog : public RollbackListener {
public:
    // Before the copy of each file is tried.
    virtual void UpdatingFile(const std::string& fileName) = 0;
    virtual void CopyFailed(const std::string& fileName) = 0;
    virtual void FolderNotFound(const std::string& folder) = 0;
    // The run refused to begin because of `path`: a link that leads out of
    // the installation folder, or a path that can't be looked at (the last
    // error tells).
    virtual void WriteRefused(const std::string& path, bool leadsOutside) = 0;
    // A fault of the configuration that no system call reports.
    virtual void ConfigurationFault(const PlanStep& step) = 0;
    // The journal could not declare the run's copies: a target could not be
    // looked at, or the record could not be written.
    virtual void JournalNotStarted(const std::string& journalFolder) = 0;
    // After a failed run's rollback that changed something back.
    virtual void RollbackComplete() = 0;
    virtual void RollbackIncomplete(const std::string& journalFolder) = 0;
    // The installation folder is on a volume that does not keep the order
    // of name changes (FAT, exFAT): every step is flushed before the next.
    virtual void NamesNotKeptInOrder(const std::string& installFolder) = 0;
    // The update is final, but the system refused to force the removal of
    // its record out to the disk (`code`): a power loss in the next seconds
    // could still have it rolled back by the next run.
    virtual void CommitNotFlushed(const std::string& journalFolder, unsigned long code) = 0;
};

// What a firmware purge did.
enum class FirmwarePurge {
    kNoneFound,  // no image in the folder
    kAllMoved,   // every image is in the journal
    kStopped,    // one could not be moved (the reason in LastError); the rest stay
};

class ContentInstaller {
public:
    ContentInstaller(JournalFiles& files, const JournalOwner& owner, LeadBytePredicate isLeadByte,
                     ContentInstallLog& log);
    ContentInstaller(const ContentInstaller&) = delete;
    ContentInstaller& operator=(const ContentInstaller&) = delete;

    // Carries out the plans of every applicable entry, in order, as one
    // update: every copy up to the first fault is declared to the journal
    // first, then each entry's plan is carried out. True when all of it was
    // installed and committed. False at the first failure, after every
    // change of the run has been rolled back (the failing step's code stays
    // the last error). `committed`, when given, is called once the update
    // is final, before the journal's leftovers (the old files) are removed:
    // whatever it shows comes that much sooner.
    bool InstallPlans(const std::vector<std::vector<PlanStep>>& plans,
                      const std::function<void()>& committed = nullptr);

    // True after a failed InstallPlans whose rollback left the journal behind.
    bool RollbackIncomplete() const { return rollbackIncomplete_; }

private:
    // Carries out one entry's plan. False at the first failing step or fault.
    bool CopyProductContent(const std::vector<PlanStep>& plan);
    // Moves every firmware image directly in `folder` into the journal.
    FirmwarePurge MoveFirmwareImagesAside(const std::string& folder);
    bool Fault(const PlanStep& step);

    JournalFiles& files_;
    InstallJournal journal_;
    ContentInstallLog& log_;
    bool rollbackIncomplete_ = false;
};
