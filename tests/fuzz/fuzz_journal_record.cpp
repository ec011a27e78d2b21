// libFuzzer target: a journal record left in the installation folder is read
// by an elevated program, so any bytes must parse safely, and whatever parses
// must name only paths inside the installation folder, outside the journal's
// own folders, with steps that order without loss.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "install/journal_names.h"
#include "install/journal_record.h"
#include "tests/shift_jis.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    for (LeadBytePredicate lead : {static_cast<LeadBytePredicate>(nullptr),
                                   static_cast<LeadBytePredicate>(&ShiftJisLeadByte)}) {
        JournalRecord record;
        if (!ParseJournalRecord(text, record, lead)) continue;
        for (const JournalLine& line : record.lines) {
            if (!IsContainedRelativePath(line.target, lead)) std::abort();
            if (IsJournalFolderName(line.target, lead)) std::abort();
            if (line.index == 0) std::abort();
        }
        // Every step is undone exactly once, whatever its place.
        size_t replaced = 0;
        for (const JournalLine& line : record.lines)
            if (line.place == JournalLine::Place::kInstead) ++replaced;
        if (StepsInTakenOrder(record.lines).size() != record.lines.size() - replaced) std::abort();
    }
    return 0;
}
