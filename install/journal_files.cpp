#include "install/journal_files.h"

#include "platform/path_services.h"

namespace {

// No real record comes near this; a larger file is not one of ours.
constexpr unsigned long kRecordSizeLimit = 64ul * 1024 * 1024;

bool IsNotFound(unsigned long code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

}  // namespace

JournalFiles::Kind WindowsJournalFiles::Inspect(const std::string& path, bool* readOnly) {
    unsigned long attributes = 0;
    if (!platform::GetAttributes(path.c_str(), attributes)) {
        return IsNotFound(::GetLastError()) ? Kind::Missing : Kind::Unknown;
    }
    if (readOnly != nullptr) *readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
}

bool WindowsJournalFiles::CreateHiddenFolder(const std::string& path) {
    if (!platform::CreateFolder(path.c_str())) return false;
    // Hiding it is a courtesy to the user; the journal works without it.
    platform::LastErrorKeeper keep;
    platform::SetAttributes(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return true;
}

bool WindowsJournalFiles::RemoveFolder(const std::string& path) {
    return platform::RemoveFolder(path.c_str());
}

bool WindowsJournalFiles::CreateRecord(const std::string& path) {
    record_ = platform::CreateNewFile(path.c_str());
    return record_.IsValid();
}

bool WindowsJournalFiles::AppendRecord(const std::string& text) {
    return platform::WriteAll(record_, text.data(), static_cast<unsigned long>(text.size())) &&
           platform::FlushToDisk(record_);
}

void WindowsJournalFiles::CloseRecord() { record_.Reset(); }

bool WindowsJournalFiles::ReadAll(const std::string& path, std::string& text) {
    return platform::ReadWholeFile(path.c_str(), text, kRecordSizeLimit);
}

bool WindowsJournalFiles::Move(const std::string& from, const std::string& to) {
    return platform::MoveFileTo(from.c_str(), to.c_str());
}

bool WindowsJournalFiles::Copy(const std::string& from, const std::string& to) {
    return platform::CopyFileReplacing(from.c_str(), to.c_str());
}

bool WindowsJournalFiles::Link(const std::string& existing, const std::string& link) {
    return platform::CreateHardLinkTo(link.c_str(), existing.c_str());
}

bool WindowsJournalFiles::Replace(const std::string& from, const std::string& to) {
    return platform::MoveFileReplacing(from.c_str(), to.c_str());
}

bool WindowsJournalFiles::CanReplace(const std::string& path) {
    return platform::CanReplaceFile(path.c_str());
}

bool WindowsJournalFiles::Remove(const std::string& path) {
    if (platform::DeleteFileAt(path.c_str())) return true;
    DWORD code = ::GetLastError();
    if (IsNotFound(code)) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    // Read-only: made normal only now, so that the common case costs one call.
    platform::SetNormalAttributes(path.c_str());
    return platform::DeleteFileAt(path.c_str());
}

bool WindowsJournalFiles::List(const std::string& folder, std::vector<std::string>& names) {
    platform::FileSearch search;
    std::string name;
    if (!search.First((folder + "\\*").c_str(), name)) return IsNotFound(::GetLastError());
    do {
        if (name != "." && name != "..") names.push_back(name);
    } while (search.Next(name));
    return true;
}

unsigned long WindowsJournalFiles::LastError() { return ::GetLastError(); }

void WindowsJournalFiles::SetLastError(unsigned long code) { platform::SetLastErrorCode(code); }
