// The content installation's lines in RIZezuvu.log: what the copy and the
// recovery of an interrupted run report, and their rollbacks. Every line
// keeps the thread's last error (UpgradeLog::Write does), as the log
// interfaces require.
#pragma once

#include <string>

#include "config/message_keys.h"
#include "config/update_context.h"
#include "install/content_install.h"
#include "install/journal_recovery.h"
#include "log/upgrade_log.h"

namespace content_log {

inline void WriteRollbackRestored(const std::string& path) {
    UpgradeLog::Write("Rollback: restored %s", path.c_str());
}
inline void WriteRollbackRemoved(const std::string& path) {
    UpgradeLog::Write("Rollback: removed %s", path.c_str());
}
inline void WriteRollbackFailed(const std::string& path, unsigned long code) {
    UpgradeLog::Write("Rollback: could not restore %s (error %lu)", path.c_str(), code);
}
inline void WriteLeftInJournal(const std::string& path, unsigned long code) {
    UpgradeLog::Write(
        "Rollback: every file is restored, but %s can't be removed yet (error %lu); a later run "
        "will remove it.",
        path.c_str(), code);
}
inline void WriteRefusedLine(const std::string& path, bool leadsOutside) {
    if (leadsOutside) {
        UpgradeLog::Write(
            "Refused: %s is a link that leads outside the installation folder; nothing was "
            "changed.",
            path.c_str());
    } else {
        UpgradeLog::Write("Refused: where %s leads can't be checked; nothing was changed.",
                          path.c_str());
    }
}
inline void WriteRollbackIncomplete(const std::string& journalFolder) {
    UpgradeLog::Write(
        "Rollback incomplete: the journal in %s is kept; the next run will finish restoring.",
        journalFolder.c_str());
}

// The rollback's lines, for the copy's log and recovery's alike.
template <typename Listener>
class WithRollbackLines : public Listener {
public:
    void Restored(const std::string& path) override { WriteRollbackRestored(path); }
    void Removed(const std::string& path) override { WriteRollbackRemoved(path); }
    void Failed(const std::string& path, unsigned long code) override {
        WriteRollbackFailed(path, code);
    }
    void LeftInJournal(const std::string& path, unsigned long code) override {
        WriteLeftInJournal(path, code);
    }
};

// Every line keeps the thread's last error (UpgradeLog::Write does).
class ContentCopyLog : public WithRollbackLines<ContentInstallLog> {
public:
    explicit ContentCopyLog(const UpdateContext& context) : context_(context) {}

    void UpdatingFile(const std::string& fileName) override {
        // The text starts empty for each file: a configuration without the
        // key gets an empty line.
        std::string lineText;
        context_.LookupMessage(message_key::kUpdateFile, lineText);
        UpgradeLog::WriteConfigured(lineText.c_str(), fileName.c_str());
    }
    void CopyFailed(const std::string& fileName) override {
        UpgradeLog::Write("Copy file failed %s...", fileName.c_str());
    }
    void FolderNotFound(const std::string& folder) override {
        UpgradeLog::Write("Directory not found %s...\n", folder.c_str());
    }
    void WriteRefused(const std::string& path, bool leadsOutside) override {
        WriteRefusedLine(path, leadsOutside);
    }
    void ConfigurationFault(const PlanStep& step) override {
        UpgradeLog::Write("Invalid configuration at line %d (group %s of Product '%s'): %s%s%s",
                          step.line, step.group.c_str(), step.entryId.c_str(),
                          DescribePlanFault(step.fault), step.value.empty() ? "" : " ",
                          step.value.c_str());
    }
    void JournalNotStarted(const std::string& journalFolder) override {
        UpgradeLog::Write(
            "The journal in %s can't be started: a target can't be looked at, or the journal "
            "can't be written",
            journalFolder.c_str());
    }
    void RollbackComplete() override {
        UpgradeLog::Write("Rollback complete: the installation is as it was before the update.");
    }
    void RollbackIncomplete(const std::string& journalFolder) override {
        WriteRollbackIncomplete(journalFolder);
    }
    void NamesNotKeptInOrder(const std::string& installFolder) override {
        UpgradeLog::Write(
            "%s is on a file system that does not keep the order of its changes (FAT or exFAT): "
            "each step is forced out to the disk before the next. The update stays all or "
            "nothing if the program is stopped; a power loss in the middle of one file's step "
            "can leave that one file missing or doubled (check the disk then).",
            installFolder.c_str());
    }
    void CommitNotFlushed(const std::string& journalFolder, unsigned long code) override {
        UpgradeLog::Write(
            "The update is complete, but the system would not force the end of the journal in %s "
            "out to the disk (error %lu): a power loss in the next seconds could still have the "
            "next run roll it back.",
            journalFolder.c_str(), code);
    }

private:
    const UpdateContext& context_;
};

class RecoveryLogLines : public WithRollbackLines<RecoveryLog> {
public:
    void InterruptedRolledBack() override {
        interruptedRunRolledBack_ = true;
        UpgradeLog::Write("An interrupted update was rolled back.");
    }
    bool InterruptedRunRolledBack() const { return interruptedRunRolledBack_; }
    void EmptyJournalRemoved(const std::string& journalFolder) override {
        UpgradeLog::Write(
            "The journal in %s records no change: the update that left it changed nothing. "
            "It was removed.",
            journalFolder.c_str());
    }
    void ForeignJournalSetAside(const std::string& journalFolder, const JournalOwner& owner,
                                const std::string& setAsideAs) override {
        if (setAsideAs.empty()) {
            UpgradeLog::Write(
                "The journal in %s belongs to another installation (product %s in %s); it is "
                "left as it is and not restored.",
                journalFolder.c_str(), owner.productCode.c_str(), owner.folder.c_str());
        } else {
            UpgradeLog::Write(
                "The journal in %s belongs to another installation (product %s in %s); it was "
                "set aside as %s and not restored.",
                journalFolder.c_str(), owner.productCode.c_str(), owner.folder.c_str(),
                setAsideAs.c_str());
        }
    }
    void LeftoverKept(const std::string& journalFolder) override {
        UpgradeLog::Write(
            "The finished journal in %s can't be removed yet; a later run will remove it.",
            journalFolder.c_str());
    }
    void WriteRefused(const std::string& path, bool leadsOutside) override {
        WriteRefusedLine(path, leadsOutside);
    }
    void JournalUnreadable(const std::string& journalFolder) override {
        UpgradeLog::Write(
            "The journal of an interrupted update in %s can't be read; nothing was changed.",
            journalFolder.c_str());
    }
    void RollbackIncomplete(const std::string& journalFolder) override {
        WriteRollbackIncomplete(journalFolder);
    }

private:
    bool interruptedRunRolledBack_ = false;
};

}  // namespace content_log
