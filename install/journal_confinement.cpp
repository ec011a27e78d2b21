// Every write of a run lands inside the installation folder: judged by
// where the folders and files really are once every link is followed, not
// by the paths' text.
#include "install/install_journal.h"

#include "install/journal_names.h"
#include "platform/error_codes.h"
#include "platform/text_rules.h"

// Where the installation folder really is, held: it may be a link itself
// (to another drive, say), and where it leads is where the installation is.
bool InstallJournal::HoldBase() {
    if (!baseFinal_.empty()) return true;
    const std::string installFolder = WithoutTrailingBackslashes(owner_.folder);
    return files_.HoldFolder(installFolder, baseFinal_);
}

// Holds `folder` (once a run) and checks that it really lies inside the
// installation folder. A missing folder is never created: what is to be
// written in it fails by itself.
bool InstallJournal::HoldInside(const std::string& folder) {
    std::string key = FoldedName(folder);
    if (heldFolders_.count(key) != 0) return true;
    std::string finalPath;
    if (!files_.HoldFolder(folder, finalPath)) {
        return files_.Probe(folder) == JournalFiles::Kind::Missing;
    }
    heldFolders_.insert(key);
    if (FinalPathLiesInside(finalPath, baseFinal_, true)) return true;
    files_.SetLastError(JournalFiles::kLeadsOutside);
    return false;
}

bool InstallJournal::CheckWhereWritesLand(const std::vector<std::string>& folders,
                                          const std::vector<JournalTarget>& targets,
                                          std::string& refused) {
    if (!HoldBase()) {
        refused = owner_.folder;
        return false;
    }
    for (const std::string& folder : folders) {
        if (!HoldInside(folder)) {
            refused = folder;
            return false;
        }
    }
    for (const JournalTarget& target : targets) {
        if (!HoldInside(target.folder)) {
            refused = target.folder;
            return false;
        }
        std::string finalPath;
        if (!files_.FinalPath(target.path, finalPath)) {
            // Nothing there yet: its folder is what counts.
            unsigned long code = files_.LastError();
            if (code == error_code::kFileNotFound || code == error_code::kPathNotFound) continue;
            refused = target.path;
            return false;
        }
        if (!FinalPathLiesInside(finalPath, baseFinal_, false)) {
            refused = target.path;
            files_.SetLastError(JournalFiles::kLeadsOutside);
            return false;
        }
    }
    return true;
}

bool InstallJournal::CheckRecordedWrites(std::string& refused) {
    // A journal's record names files inside the installation folder, but a
    // folder on their way may have become a link since; and the journal's
    // own sub-folders must be its own, not links to files elsewhere.
    // (An undo only renames and deletes names: a file that is a link
    // itself is moved or removed as a link, never written through.)
    std::vector<std::string> folders;
    for (const JournalLine& line : lines_) {
        folders.push_back(FolderOfPath(owner_.folder + line.target, isLeadByte_));
        std::string bucket = StepFolderPath(folder_, line.index);
        if (files_.Probe(bucket) == JournalFiles::Kind::Folder && !IsOwnFolder(bucket)) {
            refused = bucket;
            files_.SetLastError(JournalFiles::kLeadsOutside);
            return false;
        }
    }
    return CheckWhereWritesLand(folders, {}, refused);
}

// True when the folder at `path` (inside the installation folder) is where
// its path says, not a link to somewhere else: what a journal's folders
// must be before anything in them is read, moved or deleted.
bool InstallJournal::IsOwnFolder(const std::string& path) {
    std::string finalPath;
    if (!HoldBase() || !files_.FinalPath(path, finalPath)) return false;
    std::string expected = baseFinal_ + "\\" + path.substr(owner_.folder.size());
    return SameIgnoringCase(finalPath, expected);
}
