#include "install/journal_names.h"

#include <cstring>
#include <vector>

#include "config/config_document.h"

namespace {

bool StartsWithIgnoringCase(const std::string& text, const char* prefix) {
    size_t length = std::strlen(prefix);
    return text.size() >= length && EqualIgnoringCase(text.substr(0, length).c_str(), prefix);
}

}  // namespace

bool IsJournalFolderName(const std::string& relative, LeadBytePredicate isLeadByte) {
    std::string unified = relative;
    for (char& c : unified) {
        if (c == '/') c = '\\';  // a trail byte is never '/' (0x2F) in an ANSI code page
    }
    // The first component that is not ".".
    std::vector<std::string> parts = SplitPathComponents(unified, isLeadByte);
    size_t first = 0;
    while (first + 1 < parts.size() && parts[first] == ".") ++first;
    std::string name = parts[first];
    // Windows drops trailing dots and spaces from a name.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return StartsWithIgnoringCase(name, journal_names::kFolderName) ||
           StartsWithIgnoringCase(name, journal_names::kSetAsideName);
}

std::string JournalFolderPath(const std::string& installFolder, unsigned number) {
    std::string path = installFolder + journal_names::kFolderName;
    if (number > 0) path += "-" + std::to_string(number + 1);
    return path;
}

std::string StepFolderPath(const std::string& journalFolder, unsigned index) {
    return journalFolder + std::to_string((index - 1) / journal_names::kStepsPerFolder);
}

std::string StepFilePath(const std::string& journalFolder, unsigned index, const char* suffix) {
    return StepFolderPath(journalFolder, index) + "\\" + std::to_string(index) + suffix;
}
