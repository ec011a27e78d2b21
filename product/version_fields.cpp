#include "product/version_fields.h"

#include <climits>

namespace {

bool IsFieldSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string Trimmed(const std::string& text, size_t begin, size_t end) {
    while (end > begin && IsFieldSpace(text[end - 1])) --end;
    while (begin < end && IsFieldSpace(text[begin])) ++begin;
    return text.substr(begin, end - begin);
}

// Position of the next separator at or after `from`, or npos. A lead byte and
// the byte after it form one character and are skipped together.
size_t FindSeparator(const std::string& text, size_t from, char separator,
                     LeadBytePredicate isLeadByte) {
    size_t pos = from;
    while (pos < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[pos]);
        if (isLeadByte != nullptr && isLeadByte(c) && pos + 1 < text.size()) {
            pos += 2;
            continue;
        }
        if (text[pos] == separator) return pos;
        ++pos;
    }
    return std::string::npos;
}

}  // namespace

int SplitFields(const std::string& text, char separator, std::vector<std::string>& fields,
                LeadBytePredicate isLeadByte) {
    size_t start = 0;
    while (start < text.size()) {
        size_t sep = FindSeparator(text, start, separator, isLeadByte);
        if (sep == std::string::npos) break;
        fields.push_back(Trimmed(text, start, sep));
        start = sep + 1;
    }
    if (start < text.size()) fields.push_back(Trimmed(text, start, text.size()));
    return static_cast<int>(fields.size());
}

int ParseVersionField(const std::string& field) {
    size_t pos = 0;
    while (pos < field.size() && IsFieldSpace(field[pos])) ++pos;
    bool negative = false;
    if (pos < field.size() && (field[pos] == '+' || field[pos] == '-')) {
        negative = field[pos] == '-';
        ++pos;
    }
    // Accumulate as a magnitude that saturates just past the 32-bit range.
    long long magnitude = 0;
    const long long limit = static_cast<long long>(INT_MAX) + 1;
    for (; pos < field.size() && field[pos] >= '0' && field[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (field[pos] - '0');
        if (magnitude > limit) magnitude = limit;
    }
    if (negative) return magnitude >= limit ? INT_MIN : static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

int CompareVersions(const std::string& first, const std::string& second,
                    LeadBytePredicate isLeadByte) {
    std::vector<std::string> a;
    if (SplitFields(first, '.', a, isLeadByte) != 4) return 0;
    std::vector<std::string> b;
    if (SplitFields(second, '.', b, isLeadByte) != 4) return 0;
    for (int index : {0, 1, 3}) {
        int left = ParseVersionField(a[index]);
        int right = ParseVersionField(b[index]);
        if (left > right) return 1;
        if (left < right) return -1;
    }
    return 0;
}

bool VersionInRange(const std::string& installed, const std::string& minimum,
                    const std::string& maximum, LeadBytePredicate isLeadByte) {
    return CompareVersions(installed, minimum, isLeadByte) >= 0 &&
           CompareVersions(installed, maximum, isLeadByte) <= 0;
}
