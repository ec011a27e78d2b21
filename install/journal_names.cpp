#include "install/journal_names.h"

#include <vector>

#include "platform/text_rules.h"

bool IsJournalFolderName(const std::string& relative, LeadBytePredicate isLeadByte) {
    // The first component that is not ".".
    std::vector<std::string> parts = SplitPathComponents(WithBackslashes(relative), isLeadByte);
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
