// The names the journal gives its folders and files inside the installation
// folder. Pure logic: the plan refuses a target among them without knowing
// anything else of the journal.
//
//   .RIZezuvu-journal\              the journal of a run (-2 ... -9 when taken)
//       journal.txt                 the record (install/journal_record.h)
//       undone-N                    a rollback undid every step from N on
//       0\ 1\ ...                   kStepsPerFolder steps' files each:
//           N.new                   step N's new file, made whole
//           N.linked / N.old        the old file it replaced: a second name / renamed
//           N.adding                an added file is taking its name
//   .RIZezuvu-set-aside-N\          another installation's journal, set aside
#pragma once

#include <string>

#include "platform/path_rules.h"

namespace journal_names {

// The journal's hidden folder inside the installation folder; when a
// leftover holds that name, the next free of kFolderName-2 ... -9.
constexpr char kFolderName[] = ".RIZezuvu-journal";
constexpr unsigned kFolderNames = 9;
// A journal that belongs to another installation is renamed to this
// prefix and a number, the first free below kSetAsideNames.
constexpr char kSetAsideName[] = ".RIZezuvu-set-aside-";
constexpr unsigned kSetAsideNames = 100;
constexpr char kRecordName[] = "journal.txt";
// An empty file "undone-N" in the journal's folder: a rollback has undone
// every step from number N on (in the order taken).
constexpr char kUndoneMark[] = "undone-";
// A step's files go into sub-folders of this many steps each: a folder that
// gains a new name is searched whole by some file systems (and by Wine on
// every one), so small folders keep each step cheap.
constexpr unsigned kStepsPerFolder = 64;

// A step's files, by kind.
constexpr char kNewSuffix[] = ".new";
constexpr char kLinkedSuffix[] = ".linked";
constexpr char kOldSuffix[] = ".old";
constexpr char kAddingSuffix[] = ".adding";

}  // namespace journal_names

// True when the first component of `relative` is a name the journal uses
// for its folders (a live journal, a fresh name, or one set aside): nothing
// of the update may be put there.
bool IsJournalFolderName(const std::string& relative, LeadBytePredicate isLeadByte);

// Journal folder number `number` (0: kFolderName) of the installation folder
// `installFolder` (with its trailing backslash), without a trailing backslash.
std::string JournalFolderPath(const std::string& installFolder, unsigned number);

// In the journal's folder `journalFolder` (with its trailing backslash):
// the sub-folder of step `index`, and that step's file of kind `suffix`.
std::string StepFolderPath(const std::string& journalFolder, unsigned index);
std::string StepFilePath(const std::string& journalFolder, unsigned index, const char* suffix);
