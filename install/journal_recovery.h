// Rollback and recovery: what the next run does with every journal an
// earlier run left in the installation folder (a failed run's own rollback
// is InstallJournal::RollBack; both are in journal_recovery.cpp). Pure
// logic over JournalFiles.
#pragma once

#include <string>

#include "install/install_journal.h"

// The lines recovery writes to the log (each keeps the last error too).
class RecoveryLog : public RollbackListener {
public:
    virtual void InterruptedRolledBack() = 0;
    // A record without a whole step: the run it belonged to changed nothing.
    virtual void EmptyJournalRemoved(const std::string& journalFolder) = 0;
    // `setAsideAs` is empty when the folder could not be renamed.
    virtual void ForeignJournalSetAside(const std::string& journalFolder, const JournalOwner& owner,
                                        const std::string& setAsideAs) = 0;
    // A leftover that can't be removed now; the update goes on without it.
    virtual void LeftoverKept(const std::string& journalFolder) = 0;
    virtual void JournalUnreadable(const std::string& journalFolder) = 0;
    // An interrupted run's journal names a folder or file that now leads
    // outside the installation folder (or can't be looked at): nothing of
    // it is undone.
    virtual void WriteRefused(const std::string& path, bool leadsOutside) = 0;
    virtual void RollbackIncomplete(const std::string& journalFolder) = 0;
};

// Deals with every journal folder that earlier runs left in the
// installation folder `owner.folder`: an interrupted run's is rolled back, a
// finished run's leftovers are removed (or left, when they can't be, for a
// later run: the update goes on under a fresh folder), a record without a
// step is removed, and another installation's journal is set aside, never
// restored. False (the reason as the last error) when a journal can't be
// read (nothing is changed then) or can't be fully undone (what could be
// undone is, the rest is left for the next run).
bool RecoverInterruptedUpdates(JournalFiles& files, const JournalOwner& owner,
                               LeadBytePredicate isLeadByte, RecoveryLog& log);
