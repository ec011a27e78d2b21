// The journal's record (journal.txt in the journal's folder): its text, the
// line writer beside the parser, and the order in which a record's steps
// were taken. Pure logic.
//
//   RIZezuvu journal 3
//   product {product code}
//   folder C:\Program Files\Orvexa\   (the installation folder)
//   moved 1 player.dll            a declared copy over an existing file: the
//                                 new file made as 1.new, the old one kept as
//                                 1.linked (a second name) or 1.old (renamed)
//   added 2 Skins\new.skin        a declared copy onto a missing file, made as 2.new
//                                 and marked by an empty 2.adding as it takes its name
//   after 1 moved 3 update.bin    a step taken after the first declared one
//   instead 2 added 4 new.skin    declared step 2, replaced by what was found
//
// Declared steps are written in one go before the first of them is taken,
// and are taken in their order. A step the declaration did not foresee (a
// firmware purge, or a declared copy whose target has changed since) names
// its place among them, so that a record read back from disk gives the
// exact order in which the steps were taken: recovery undoes them in the
// very order an in-run rollback does.
#pragma once

#include <string>
#include <vector>

#include "platform/path_rules.h"

namespace journal_record {

// The record's first line, which names its format.
constexpr char kFormatLine[] = "RIZezuvu journal 3";
constexpr char kProductKey[] = "product ";
constexpr char kFolderKey[] = "folder ";
constexpr char kMovedKey[] = "moved ";
constexpr char kAddedKey[] = "added ";
constexpr char kAfterKey[] = "after ";
constexpr char kInsteadKey[] = "instead ";
// No real record comes near this many steps; a larger number is not ours.
constexpr unsigned long kLargestNumber = 0xFFFFFFu;

}  // namespace journal_record

// The installation a journal belongs to: a record left by another one (the
// product was removed and installed again since) is never rolled back over
// this one.
struct JournalOwner {
    std::string productCode;
    std::string folder;  // the installation folder, with its trailing backslash
};

// One line of the record.
struct JournalLine {
    enum class Place {
        kDeclared,  // the next declared step
        kAfter,     // taken once `position` declared steps were dealt with
        kInstead,   // replaces declared step `position` (counted from 1)
    };
    Place place = Place::kDeclared;
    unsigned position = 0;
    bool moved = false;  // else added
    // The step's number: its new file is made as N.new, a moved step's old
    // file kept as N.linked or N.old.
    unsigned index = 0;
    std::string target;  // relative to the installation folder
};

// A record read back from disk.
struct JournalRecord {
    bool complete = false;  // false: torn before its header was whole
    JournalOwner owner;
    std::vector<JournalLine> lines;
};

// The record's header: its format, product and folder lines.
std::string JournalHeaderText(const JournalOwner& owner);
// One step's line, with its line feed.
std::string JournalLineText(const JournalLine& line);

// Parses a whole record. False when it is not a record of ours or a
// complete line is malformed; a last line without its line feed (or a tail
// of zero bytes) was never flushed whole, so its step was never taken, and
// it is ignored. A record torn within its header parses as not complete.
bool ParseJournalRecord(const std::string& text, JournalRecord& record,
                        LeadBytePredicate isLeadByte);

// The steps of a record in the order they were taken.
std::vector<JournalLine> StepsInTakenOrder(const std::vector<JournalLine>& lines);
