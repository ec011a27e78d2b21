#include "install/journal_files_win.h"

#include "platform/text_rules.h"
#include "platform/file_system_win.h"
#include "platform/path_services_win.h"
#include "platform/private_folder_win.h"

namespace {

// No real record comes near this; a larger file is not one of ours.
constexpr unsigned long kRecordSizeLimit = 64ul * 1024 * 1024;

}  // namespace

JournalFiles::Kind WindowsJournalFiles::Probe(const std::string& path) {
    unsigned long attributes = 0;
    if (!platform::GetFileAttributesAt(path, attributes)) {
        return platform::IsNotFoundCode(::GetLastError()) ? Kind::Missing : Kind::Unknown;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
}

bool WindowsJournalFiles::CreateJournalFolder(const std::string& path) {
    // Private: the journal holds an elevated run's old files and new copies,
    // so no one else may read it or put a link in it. What is made in it gets
    // the entries of the folder it is made in: for the journal's own folder
    // that is the installation folder, and for a sub-folder the journal's,
    // whose entries for files are the installation's; so a new copy renamed
    // into place carries the installation's access. (The last backslash is
    // the one before the journal's own plain name.)
    std::string parent = path.substr(0, path.rfind('\\') + 1);
    if (!platform::CreatePrivateFolderAt(path, parent)) return false;
    // Hiding it is a courtesy to the user; the journal works without it.
    platform::LastErrorKeeper keep;
    platform::SetFileAttributesAt(path, FILE_ATTRIBUTE_HIDDEN);
    return true;
}

bool WindowsJournalFiles::RemoveFolder(const std::string& path) {
    return platform::RemoveFolderAt(path);
}

bool WindowsJournalFiles::CreateRecord(const std::string& path) {
    record_ = platform::CreateNewFileAt(path);
    return record_.IsValid();
}

bool WindowsJournalFiles::AppendRecord(const std::string& text) {
    return platform::WriteAll(record_, text.data(), static_cast<unsigned long>(text.size())) &&
           platform::FlushToDisk(record_);
}

void WindowsJournalFiles::CloseRecord() { record_.Reset(); }

bool WindowsJournalFiles::CreateMark(const std::string& path) {
    return platform::CreateNewFileAt(path).IsValid();
}

bool WindowsJournalFiles::ReadAll(const std::string& path, std::string& text) {
    return platform::ReadWholeFileAt(path, text, kRecordSizeLimit);
}

bool WindowsJournalFiles::Move(const std::string& from, const std::string& to) {
    return platform::MoveTo(from, to);
}

bool WindowsJournalFiles::Link(const std::string& existing, const std::string& link) {
    return platform::CreateHardLinkAt(link, existing);
}

bool WindowsJournalFiles::Replace(const std::string& from, const std::string& to) {
    return platform::MoveReplacing(from, to);
}

bool WindowsJournalFiles::CanReplace(const std::string& path) {
    return platform::CanReplaceFileAt(path);
}

bool WindowsJournalFiles::SameFile(const std::string& a, const std::string& b, bool& same) {
    return platform::AreSameFile(a, b, same);
}

bool WindowsJournalFiles::Copy(const std::string& from, const std::string& to) {
    if (observer_ == nullptr) return platform::CopyFileDurably(from, to);
    if (!observer_->Begin(from)) return false;
    CopyObserver* observer = observer_;
    bool copied = platform::CopyFileDurably(
        from, to,
        [observer](const char* data, unsigned long bytes) { return observer->Chunk(data, bytes); });
    if (!copied) observer_->Failed(from);
    return copied;
}

bool WindowsJournalFiles::Remove(const std::string& path) {
    if (platform::RemoveFileAt(path)) return true;
    DWORD code = ::GetLastError();
    if (platform::IsNotFoundCode(code)) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    // Read-only: made normal only now, so that the common case costs one call.
    platform::SetFileAttributesAt(path, FILE_ATTRIBUTE_NORMAL);
    return platform::RemoveFileAt(path);
}

bool WindowsJournalFiles::FlushFolder(const std::string& folder) {
    if (platform::FlushFolderToDisk(folder)) return true;
    // A file system that won't flush a folder still flushes its volume, for
    // an administrator (which an update's run is). The folder's code is the
    // one reported when both are refused.
    DWORD folderCode = ::GetLastError();
    if (platform::FlushVolumeOf(folder)) return true;
    platform::SetLastErrorCode(folderCode);
    return false;
}

bool WindowsJournalFiles::KeepsNameOrder(const std::string& folder) {
    std::string name;
    if (!platform::FileSystemNameOf(folder, name)) return false;
    return EqualIgnoringCase(name.c_str(), "NTFS") || EqualIgnoringCase(name.c_str(), "ReFS");
}

bool WindowsJournalFiles::List(const std::string& folder, std::vector<std::string>& names) {
    if (platform::ListFolder(folder, "*", true, names)) return true;
    return platform::IsNotFoundCode(::GetLastError());
}

bool WindowsJournalFiles::ListFilesEndingIn(const std::string& folder, const std::string& suffix,
                                            std::vector<std::string>& names) {
    std::vector<std::string> found;
    if (!platform::ListFolder(folder, ("*" + suffix).c_str(), false, found)) return false;
    // The system's wildcard also matches short 8.3 names: "notes.binx" would
    // match "*.bin". Only names that really end so count.
    for (const std::string& name : found) {
        if (EndsWithIgnoringCase(name, suffix)) names.push_back(name);
    }
    return true;
}

bool WindowsJournalFiles::FinalPath(const std::string& path, std::string& finalPath) {
    // The check before the first copy looks at every existing target: the
    // status window gets its turns meanwhile, as during the copies.
    if (observer_ != nullptr) observer_->Idle();
    return platform::FinalPathAt(path, finalPath);
}

bool WindowsJournalFiles::HoldFolder(const std::string& path, std::string& finalPath) {
    platform::KernelHandle folder = platform::OpenFolderHeld(path);
    if (!folder.IsValid() || !platform::FinalPathOf(folder, finalPath)) return false;
    heldFolders_.push_back(std::move(folder));
    return true;
}

void WindowsJournalFiles::ReleaseFolders() { heldFolders_.clear(); }

unsigned long WindowsJournalFiles::LastError() { return ::GetLastError(); }

void WindowsJournalFiles::SetLastError(unsigned long code) { platform::SetLastErrorCode(code); }
