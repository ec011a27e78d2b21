#include "install/journal_files.h"

#include "config/config_document.h"
#include "config/package_seal.h"
#include "log/upgrade_log.h"
#include "install/copy_progress.h"
#include "platform/file_system.h"
#include "platform/path_services.h"
#include "platform/private_folder_win.h"

namespace {

// No real record comes near this; a larger file is not one of ours.
constexpr unsigned long kRecordSizeLimit = 64ul * 1024 * 1024;

bool IsNotFound(unsigned long code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

}  // namespace

JournalFiles::Kind WindowsJournalFiles::Inspect(const std::string& path, bool* readOnly) {
    unsigned long attributes = 0;
    if (!platform::GetFileAttributesAt(path, attributes)) {
        return IsNotFound(::GetLastError()) ? Kind::Missing : Kind::Unknown;
    }
    if (readOnly != nullptr) *readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
}

bool WindowsJournalFiles::CreateHiddenFolder(const std::string& path) {
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

bool WindowsJournalFiles::ReadAll(const std::string& path, std::string& text) {
    return platform::ReadWholeFileAt(path, text, kRecordSizeLimit);
}

bool WindowsJournalFiles::Move(const std::string& from, const std::string& to) {
    return platform::MoveTo(from, to);
}

bool WindowsJournalFiles::Copy(const std::string& from, const std::string& to) {
    if (progress_ == nullptr && sealed_ == nullptr) return platform::CopyFileDurably(from, to);
    CopyProgress* progress = progress_;
    if (sealed_ == nullptr) {
        return platform::CopyFileDurably(from, to, [progress](const char*, unsigned long bytes) {
            progress->Copied(bytes);
            return true;
        });
    }
    const SealedFile* expected = sealed_->Find(from);
    if (expected == nullptr) {
        platform::SetLastErrorCode(ERROR_INVALID_DATA);
        UpgradeLog::Write(kSealUnlistedLine, ManifestNameOf(from, sealed_->sourceBase).c_str());
        return false;
    }
    // The bytes are hashed as they are written into the journal: a source
    // changed since the check before the consent is caught before its copy
    // is put in place.
    SealedFileCheck check(*expected);
    return platform::CopyFileDurably(
        from, to, [progress, &check, expected](const char* data, unsigned long bytes) {
            bool sealedSoFar = data != nullptr ? check.Add(data, bytes) : check.Matches();
            if (!sealedSoFar) {
                platform::SetLastErrorCode(ERROR_INVALID_DATA);
                UpgradeLog::Write(kSealChangedLine, expected->name.c_str());
                return false;
            }
            if (progress != nullptr) progress->Copied(bytes);
            return true;
        });
}

bool WindowsJournalFiles::Read(const std::string& path, unsigned long long limit, KeptFile& file) {
    // The declaration reads every small target before the first copy: the
    // status window gets its turns meanwhile, as during the copies.
    if (progress_ != nullptr) {
        platform::LastErrorKeeper keep;
        progress_->Copied(0);
    }
    // Into the caller's buffer, which a caller reading file after file reuses.
    platform::FileContent content;
    content.bytes.swap(file.bytes);
    bool read = platform::ReadFileContentAt(path, limit, content);
    file.bytes.swap(content.bytes);
    if (!read) return false;
    file.attributes = content.attributes;
    file.lastWrite = content.lastWrite;
    return true;
}

bool WindowsJournalFiles::WriteNew(const std::string& path, const std::string& bytes) {
    if (!platform::WriteNewFileAt(path, bytes)) return false;
    unflushed_.push_back(path);
    return true;
}

bool WindowsJournalFiles::FlushNewFiles() {
    std::vector<std::string> paths;
    paths.swap(unflushed_);
    for (const std::string& path : paths) {
        if (!platform::FlushFileAt(path)) return false;
    }
    return true;
}

bool WindowsJournalFiles::SealedBytes(const std::string& source, const std::string& bytes) {
    if (sealed_ == nullptr) return true;
    const SealedFile* expected = sealed_->Find(source);
    if (expected != nullptr) {
        SealedFileCheck check(*expected);
        if (check.Add(bytes.data(), bytes.size()) && check.Matches()) return true;
    }
    UpgradeLog::Write(expected == nullptr ? kSealUnlistedLine : kSealChangedLine,
                      ManifestNameOf(source, sealed_->sourceBase).c_str());
    platform::SetLastErrorCode(ERROR_INVALID_DATA);
    return false;
}

bool WindowsJournalFiles::Rewrite(const std::string& from, const std::string& to,
                                  unsigned long long limit) {
    // Read whole first: a sealed package's bytes are checked before the
    // target is touched.
    platform::FileContent& content = rewritten_;
    if (!platform::ReadFileContentAt(from, limit, content) || !SealedBytes(from, content.bytes))
        return false;
    content.attributes = platform::AttributesOfACopy(content.attributes);
    if (!platform::RewriteFileAt(to, content, false)) return false;
    if (progress_ != nullptr) progress_->Copied(content.bytes.size());
    return true;
}

bool WindowsJournalFiles::Restore(const std::string& to, const KeptFile& file) {
    platform::FileContent content;
    content.bytes = file.bytes;
    content.attributes = file.attributes;
    content.lastWrite = file.lastWrite;
    return platform::RewriteFileAt(to, content, true);
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

bool WindowsJournalFiles::Remove(const std::string& path) {
    if (platform::RemoveFileAt(path)) return true;
    DWORD code = ::GetLastError();
    if (IsNotFound(code)) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    // Read-only: made normal only now, so that the common case costs one call.
    platform::SetFileAttributesAt(path, FILE_ATTRIBUTE_NORMAL);
    return platform::RemoveFileAt(path);
}

bool WindowsJournalFiles::List(const std::string& folder, std::vector<std::string>& names) {
    if (platform::ListFolder(folder, "*", true, names)) return true;
    return IsNotFound(::GetLastError());
}

bool WindowsJournalFiles::ListFilesEndingIn(const std::string& folder, const std::string& suffix,
                                            std::vector<std::string>& names) {
    std::vector<std::string> found;
    if (!platform::ListFolder(folder, ("*" + suffix).c_str(), false, found)) return false;
    // The system's wildcard also matches short 8.3 names: "notes.binx" would
    // match "*.bin". Only names that really end so count.
    for (const std::string& name : found) {
        if (name.size() >= suffix.size() &&
            EqualIgnoringCase(name.c_str() + name.size() - suffix.size(), suffix.c_str()))
            names.push_back(name);
    }
    return true;
}

unsigned long WindowsJournalFiles::LastError() { return ::GetLastError(); }

void WindowsJournalFiles::SetLastError(unsigned long code) { platform::SetLastErrorCode(code); }
