#include "install/journal_record.h"

#include <cstdlib>
#include <cstring>

#include "install/journal_names.h"

namespace {

using namespace journal_record;

bool StartsWith(const std::string& text, size_t at, const char* key) {
    return text.compare(at, std::strlen(key), key) == 0;
}

// Reads a number of 1 to kLargestNumber followed by a space.
bool ReadNumber(const std::string& line, size_t& at, unsigned& number, bool zeroAllowed) {
    const char* start = line.c_str() + at;
    if (*start < '0' || *start > '9') return false;
    char* after = nullptr;
    unsigned long value = std::strtoul(start, &after, 10);
    if (*after != ' ' || value > kLargestNumber || (value == 0 && !zeroAllowed)) return false;
    number = static_cast<unsigned>(value);
    at = static_cast<size_t>(after - line.c_str()) + 1;
    return true;
}

// "moved N path" or "added N path", from `at` on.
bool ParseStep(const std::string& line, size_t at, JournalLine& parsed,
               LeadBytePredicate isLeadByte) {
    if (StartsWith(line, at, kAddedKey)) {
        parsed.moved = false;
        at += std::strlen(kAddedKey);
    } else if (StartsWith(line, at, kMovedKey)) {
        parsed.moved = true;
        at += std::strlen(kMovedKey);
    } else {
        return false;
    }
    if (!ReadNumber(line, at, parsed.index, false)) return false;
    parsed.target = line.substr(at);
    return IsContainedRelativePath(parsed.target, isLeadByte) &&
           !IsJournalFolderName(parsed.target, isLeadByte);
}

}  // namespace

std::string JournalHeaderText(const JournalOwner& owner) {
    return std::string(kFormatLine) + "\n" + kProductKey + owner.productCode + "\n" + kFolderKey +
           owner.folder + "\n";
}

std::string JournalLineText(const JournalLine& line) {
    std::string text;
    if (line.place == JournalLine::Place::kAfter)
        text = kAfterKey + std::to_string(line.position) + " ";
    else if (line.place == JournalLine::Place::kInstead)
        text = kInsteadKey + std::to_string(line.position) + " ";
    return text + (line.moved ? kMovedKey : kAddedKey) + std::to_string(line.index) + " " +
           line.target + "\n";
}

bool ParseJournalRecord(const std::string& text, JournalRecord& record,
                        LeadBytePredicate isLeadByte) {
    record = JournalRecord();
    // Each write of the record is flushed before its steps are taken, so a
    // power loss can only tear the last one: sectors of it that never
    // reached the disk read as zeros, at its end or amid it. From the first
    // zero byte on, nothing was written whole (no line holds one).
    size_t length = text.find('\0');
    length = length == std::string::npos ? text.size() : length;
    std::string body = text.substr(0, length);
    // Whole lines only: a torn last line's step was never taken.
    size_t whole = body.rfind('\n');
    body = whole == std::string::npos ? std::string() : body.substr(0, whole + 1);

    std::vector<std::string> lines;
    for (size_t start = 0; start < body.size();) {
        size_t end = body.find('\n', start);
        lines.push_back(body.substr(start, end - start));
        start = end + 1;
    }
    // A record torn within its header holds no step: a prefix of a header
    // is such a record, anything else is not ours.
    std::string format = kFormatLine;
    if (lines.empty()) return format.compare(0, length, text.substr(0, length)) == 0;
    if (lines[0] != format) return false;
    if (lines.size() < 3) return lines.size() < 2 || StartsWith(lines[1], 0, kProductKey);
    if (!StartsWith(lines[1], 0, kProductKey) || !StartsWith(lines[2], 0, kFolderKey)) return false;
    record.owner.productCode = lines[1].substr(std::strlen(kProductKey));
    record.owner.folder = lines[2].substr(std::strlen(kFolderKey));
    if (record.owner.folder.empty()) return false;
    record.complete = true;
    size_t declared = 0;
    bool unforeseenSeen = false;
    std::vector<bool> replaced;
    for (size_t i = 3; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        JournalLine parsed;
        size_t at = 0;
        if (StartsWith(line, 0, kAfterKey)) {
            at = std::strlen(kAfterKey);
            parsed.place = JournalLine::Place::kAfter;
            if (!ReadNumber(line, at, parsed.position, true) || parsed.position > declared)
                return false;
        } else if (StartsWith(line, 0, kInsteadKey)) {
            at = std::strlen(kInsteadKey);
            parsed.place = JournalLine::Place::kInstead;
            if (!ReadNumber(line, at, parsed.position, false) || parsed.position > declared ||
                replaced[parsed.position - 1])
                return false;
            replaced[parsed.position - 1] = true;
        } else {
            // Declared steps come first, all of them.
            if (unforeseenSeen) return false;
            ++declared;
            replaced.push_back(false);
        }
        if (parsed.place != JournalLine::Place::kDeclared) unforeseenSeen = true;
        if (!ParseStep(line, at, parsed, isLeadByte)) return false;
        record.lines.push_back(parsed);
    }
    return true;
}

std::vector<JournalLine> StepsInTakenOrder(const std::vector<JournalLine>& lines) {
    std::vector<const JournalLine*> declared;
    for (const JournalLine& line : lines) {
        if (line.place == JournalLine::Place::kDeclared) declared.push_back(&line);
    }
    // Slot j (1-based) holds declared step j or what replaced it; after[j]
    // the steps taken once j declared steps were dealt with.
    std::vector<const JournalLine*> slot(declared.begin(), declared.end());
    std::vector<std::vector<const JournalLine*>> after(declared.size() + 1);
    for (const JournalLine& line : lines) {
        if (line.place == JournalLine::Place::kAfter && line.position <= declared.size()) {
            after[line.position].push_back(&line);
        } else if (line.place == JournalLine::Place::kInstead && line.position >= 1 &&
                   line.position <= declared.size()) {
            slot[line.position - 1] = &line;
        }
    }
    std::vector<JournalLine> order;
    for (size_t j = 0; j <= declared.size(); ++j) {
        if (j > 0) order.push_back(*slot[j - 1]);
        for (const JournalLine* line : after[j]) order.push_back(*line);
    }
    return order;
}
