// libFuzzer target: a journal record left in the installation folder is read
// by an elevated program, so any bytes must parse safely, and whatever parses
// must name only paths inside the installation folder.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "install/install_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<JournalLine> lines;
    if (!ParseJournalRecord(text, lines)) return 0;
    for (const JournalLine& line : lines) {
        if (!IsContainedRelativePath(line.target, nullptr)) std::abort();
        if (line.moved && line.index == 0) std::abort();
    }
    return 0;
}
