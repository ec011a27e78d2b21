#include "platform/text_rules.h"

char FoldedAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string FoldedName(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) c = FoldedAscii(c);
    return folded;
}

bool EqualIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (FoldedAscii(*a) != FoldedAscii(*b)) return false;
    }
    return *a == *b;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldedAscii(a[i]) != FoldedAscii(b[i])) return false;
    }
    return true;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && SameIgnoringCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           SameIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}
