// Which of the journal's name changes must be forced out to the disk, and
// when. On a volume that keeps the order of name changes (NTFS, ReFS), a
// change never reaches the disk before one made earlier: nothing needs
// flushing between steps. Where nothing orders them (FAT, exFAT), the
// folders changed so far are flushed where the power-cut model test showed
// that a cut could otherwise leave more than the one file whose step it fell
// in: before a new file takes its name, after each image a purge moves
// aside, after each step a rollback undoes, before the record goes at the
// commit, and after it goes at the end of a rollback (before the marks of
// how far it got). Pure logic over JournalFiles.
#pragma once

#include <set>
#include <string>

#include "install/journal_files.h"
#include "platform/path_rules.h"

class JournalFlushes {
public:
    JournalFlushes(JournalFiles& files, LeadBytePredicate isLeadByte)
        : files_(files), isLeadByte_(isLeadByte) {}

    // Asks the file system of `installFolder` whether it keeps the order of
    // name changes; once for each journal a run starts or finds.
    void LookAt(const std::string& installFolder);
    bool NamesKeptInOrder() const { return ordered_; }

    // Notes a name made, renamed or removed at `path` (on a volume that does
    // not keep their order).
    void Changed(const std::string& path);
    // Makes every name noted so far durable. False when a folder's flush was
    // refused (the system wrote what it could).
    bool Settle();
    void Forget() { unsettled_.clear(); }

private:
    JournalFiles& files_;
    LeadBytePredicate isLeadByte_;
    bool ordered_ = true;
    std::set<std::string> unsettled_;  // folders with name changes not yet flushed
};
