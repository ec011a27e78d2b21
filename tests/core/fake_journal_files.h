// An in-memory file system behind JournalFiles that answers as Windows does:
// names compare without regard to case, a missing file or folder fails with
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND, a rename onto an existing
// name with ERROR_ALREADY_EXISTS (a new file made over one with
// ERROR_FILE_EXISTS), a file held open by another process (without sharing)
// with ERROR_SHARING_VIOLATION, a full disk with ERROR_DISK_FULL.
//
// A file may have several names (hard links: one `id`); a path may lead
// through a link (`links`: a symbolic link or junction, to its target),
// which FinalPath and HoldFolder follow. Nothing the journal does writes
// into an existing file, so each name holds its file's value; an outside
// program's edit (EditFile) changes every name of the file, and
// beforeOperation lets one act between any two operations.
//
// Any operation can be made to fail, and the process can be made to die at
// any change: a copy then leaves a partial file and a record append a torn
// line, as they would on a real disk.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "install/install_journal.h"

namespace fake {

constexpr unsigned long kFileNotFound = 2;
constexpr unsigned long kPathNotFound = 3;
constexpr unsigned long kAccessDenied = 5;
constexpr unsigned long kSharingViolation = 32;
constexpr unsigned long kDiskFull = 112;
constexpr unsigned long kAlreadyExists = 183;
constexpr unsigned long kDirNotEmpty = 145;
constexpr unsigned long kInvalidFunction = 1;

// Thrown where the process dies.
struct Crash {};

constexpr unsigned long kFileExists = 80;
constexpr unsigned long kCantAccessFile = 1920;

struct File {
    std::string bytes;
    bool readOnly = false;
    int id = 0;  // the same for every name of one file; not part of its value
    bool operator==(const File& other) const {
        return bytes == other.bytes && readOnly == other.readOnly;
    }
};

// Names compare without regard to case; a folder may be named with its
// trailing backslash.
inline std::string Key(const std::string& path) {
    std::string key;
    for (char c : path) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (key.size() > 1 && key.back() == '\\') key.pop_back();
    return key;
}

class Files : public JournalFiles {
public:
    // By key: the spelled name and the file.
    std::map<std::string, std::pair<std::string, File>> files;
    std::map<std::string, std::string> folders;  // key -> spelled name
    std::set<std::string> held;                  // keys of files others hold open
    // Files (ids) another program has loaded (a DLL): renamed as any other,
    // but no name of them is deleted or renamed over.
    std::set<int> loaded;
    bool hardLinks = true;
    // Links by key: the full path they lead to.
    std::map<std::string, std::string> links;
    // Keys of the folders the journal holds (HoldFolder).
    std::set<std::string> heldFolders;
    int nextId = 1;
    // Another program's doings, just before each operation of the journal
    // (its name, as failOn has it, and its path).
    std::function<void(Files&, const std::string&, const std::string&)> beforeOperation;

    // The operation numbered `failAt` (counting every call from 1) fails
    // with `failCode`; the change numbered `crashAt` (counting only calls
    // that change something) kills the process. 0: never.
    size_t failAt = 0;
    // Or: the first operation of this name ("copy", "rewrite" ...) fails.
    std::string failOn;
    unsigned long failCode = kSharingViolation;
    size_t crashAt = 0;
    size_t operations = 0;
    size_t changes = 0;
    std::string failedOperation;  // "operation path" of the one made to fail

    unsigned long lastError = 0;
    std::string openRecord;

    void AddFolder(const std::string& path) { folders[Key(path)] = path; }
    void AddFile(const std::string& path, const std::string& bytes, bool readOnly = false) {
        files[Key(path)] = {path, {bytes, readOnly, nextId++}};
    }
    // A second name of an existing file.
    void AddHardLink(const std::string& existing, const std::string& path) {
        files[Key(path)] = {path, FileAt(existing)};
    }
    void AddLink(const std::string& path, const std::string& target) { links[Key(path)] = target; }
    // What another program writes into the file at `path`: every name of it
    // shows the new bytes.
    void EditFile(const std::string& path, const std::string& bytes) {
        int id = FileAt(path).id;
        for (auto& file : files)
            if (file.second.second.id == id) file.second.second.bytes = bytes;
    }
    bool HasFile(const std::string& path) const { return files.count(Key(path)) != 0; }
    bool HasFolder(const std::string& path) const { return folders.count(Key(path)) != 0; }
    const File& FileAt(const std::string& path) const { return files.at(Key(path)).second; }

    // The files and folders under `folder` (keys relative to it), for comparing states.
    std::map<std::string, File> Snapshot(const std::string& folder) const {
        std::map<std::string, File> snapshot;
        std::string prefix = Key(folder) + "\\";
        for (const auto& file : files) {
            if (file.first.compare(0, prefix.size(), prefix) == 0)
                snapshot[file.first.substr(prefix.size())] = file.second.second;
        }
        for (const auto& sub : folders) {
            if (sub.first.compare(0, prefix.size(), prefix) == 0)
                snapshot[sub.first.substr(prefix.size()) + "\\"] = File{"<folder>", false};
        }
        return snapshot;
    }

    Kind Probe(const std::string& path) override {
        if (Fails("inspect", path, false)) return Kind::Unknown;
        if (HasFile(path)) return Kind::File;
        if (HasFolder(path)) return Kind::Folder;
        lastError = ParentExists(path) ? kFileNotFound : kPathNotFound;
        return Kind::Missing;
    }
    bool CreateJournalFolder(const std::string& path) override {
        if (Fails("mkdir", path, true)) return false;
        if (!ParentExists(path)) return Error(kPathNotFound);
        if (Exists(path)) return Error(kAlreadyExists);
        AddFolder(path);
        return true;
    }
    bool RemoveFolder(const std::string& path) override {
        if (Fails("rmdir", path, true)) return false;
        if (!HasFolder(path)) return Error(kFileNotFound);
        std::string prefix = Key(path) + "\\";
        for (const auto& file : files)
            if (file.first.compare(0, prefix.size(), prefix) == 0) return Error(kDirNotEmpty);
        for (const auto& sub : folders)
            if (sub.first.compare(0, prefix.size(), prefix) == 0) return Error(kDirNotEmpty);
        folders.erase(Key(path));
        return true;
    }
    bool CreateRecord(const std::string& path) override {
        if (Fails("create", path, true)) return false;
        if (!ParentExists(path)) return Error(kPathNotFound);
        if (Exists(path)) return Error(kAlreadyExists);
        AddFile(path, "");
        openRecord = path;
        return true;
    }
    bool AppendRecord(const std::string& text) override {
        ++appends;
        if (openRecord.empty() || !HasFile(openRecord)) return Error(6 /* invalid handle */);
        if (Fails("append", openRecord, true, [&] {
                // Dying in the middle of a write leaves part of it.
                files[Key(openRecord)].second.bytes += text.substr(0, text.size() / 2);
            }))
            return false;
        files[Key(openRecord)].second.bytes += text;
        return true;
    }
    void CloseRecord() override { openRecord.clear(); }
    bool CreateMark(const std::string& path) override {
        if (Fails("mark", path, true)) return false;
        if (!ParentExists(path)) return Error(kPathNotFound);
        if (Exists(path)) return Error(kAlreadyExists);
        AddFile(path, "");
        return true;
    }
    bool ReadAll(const std::string& path, std::string& text) override {
        if (Fails("read", path, false)) return false;
        if (!HasFile(path)) return Error(kFileNotFound);
        text = FileAt(path).bytes;
        return true;
    }
    bool Move(const std::string& from, const std::string& to) override {
        if (Fails("move", from, true)) return false;
        if (!Exists(from)) return Error(ParentExists(from) ? kFileNotFound : kPathNotFound);
        if (!ParentExists(to)) return Error(kPathNotFound);
        if (Exists(to)) return Error(kAlreadyExists);
        if (HasFile(from)) {
            if (held.count(Key(from))) return Error(kSharingViolation);
            auto file = files[Key(from)];
            files.erase(Key(from));
            file.first = to;
            files[Key(to)] = file;
            return true;
        }
        // A folder: everything under it moves along.
        std::string prefix = Key(from) + "\\";
        for (const std::string& key : held)
            if (key.compare(0, prefix.size(), prefix) == 0) return Error(kAccessDenied);
        MoveTree(from, to);
        return true;
    }
    bool Link(const std::string& existing, const std::string& link) override {
        if (Fails("link", existing, true)) return false;
        if (!hardLinks) return Error(kInvalidFunction);
        if (!HasFile(existing))
            return Error(ParentExists(existing) ? kFileNotFound : kPathNotFound);
        if (!ParentExists(link)) return Error(kPathNotFound);
        if (Exists(link)) return Error(kAlreadyExists);
        AddHardLink(existing, link);
        return true;
    }
    bool Replace(const std::string& from, const std::string& to) override {
        if (Fails("replace", to, true)) return false;
        if (!HasFile(from)) return Error(kFileNotFound);
        if (!HasFile(to)) return Error(HasFolder(to) ? kAccessDenied : kFileNotFound);
        if (held.count(Key(from)) || held.count(Key(to))) return Error(kSharingViolation);
        if (FileAt(to).readOnly || loaded.count(FileAt(to).id)) return Error(kAccessDenied);
        auto file = files[Key(from)];
        files.erase(Key(from));
        files[Key(to)] = {files[Key(to)].first, file.second};
        return true;
    }
    bool CanReplace(const std::string& path) override {
        if (Fails("hold-check", path, false)) return false;
        if (!HasFile(path)) return Error(kFileNotFound);
        if (held.count(Key(path))) return Error(kSharingViolation);
        return true;
    }
    bool SameFile(const std::string& a, const std::string& b, bool& same) override {
        if (Fails("same-file", a, false)) return false;
        if (!HasFile(a) || !HasFile(b)) return Error(kFileNotFound);
        same = FileAt(a).id == FileAt(b).id;
        return true;
    }
    bool Copy(const std::string& from, const std::string& to) override {
        auto partial = [&] {
            if (HasFile(from) && ParentExists(to) && !Exists(to))
                AddFile(to, FileAt(from).bytes.substr(0, FileAt(from).bytes.size() / 2));
        };
        if (Fails("copy", to, true, partial)) return false;
        if (!HasFile(from)) return Error(HasFolder(from) ? kAccessDenied : kFileNotFound);
        if (held.count(Key(from))) return Error(kSharingViolation);
        if (!ParentExists(to)) return Error(kPathNotFound);
        if (Exists(to)) return Error(kFileExists);
        AddFile(to, FileAt(from).bytes);
        return true;
    }
    bool Remove(const std::string& path) override {
        if (Fails("remove", path, true)) return false;
        if (HasFolder(path)) return Error(kAccessDenied);
        if (!HasFile(path)) return true;
        if (held.count(Key(path))) return Error(kSharingViolation);
        if (loaded.count(FileAt(path).id)) return Error(kAccessDenied);
        files.erase(Key(path));
        return true;
    }
    bool List(const std::string& folder, std::vector<std::string>& names) override {
        if (Fails("list", folder, false)) return false;
        if (!HasFolder(folder)) return true;
        names = Children(folder, true);
        return true;
    }
    bool ListFilesEndingIn(const std::string& folder, const std::string& suffix,
                           std::vector<std::string>& names) override {
        if (Fails("list", folder, false)) return false;
        if (!HasFolder(folder)) return Error(kPathNotFound);
        names.clear();
        for (const std::string& name : Children(folder, false)) {
            if (name.size() >= suffix.size() &&
                Key(name.substr(name.size() - suffix.size())) == Key(suffix))
                names.push_back(name);
        }
        return true;
    }
    // Follows the links on the way to `path`, as the system does.
    std::string Resolve(const std::string& path) const {
        std::string resolved = path;
        for (int hops = 0; hops < 8; ++hops) {
            bool followed = false;
            std::string key = Key(resolved);
            for (const auto& link : links) {
                if (key == link.first ||
                    key.compare(0, link.first.size() + 1, link.first + "\\") == 0) {
                    resolved = link.second + resolved.substr(link.first.size());
                    followed = true;
                    break;
                }
            }
            if (!followed) break;
        }
        return resolved;
    }
    bool FinalPath(const std::string& path, std::string& finalPath) override {
        if (Fails("final-path", path, false)) return false;
        std::string resolved = Resolve(path);
        if (!Exists(resolved)) return Error(ParentExists(resolved) ? kFileNotFound : kPathNotFound);
        finalPath = Key(resolved);
        return true;
    }
    bool HoldFolder(const std::string& path, std::string& finalPath) override {
        if (Fails("hold-folder", path, false)) return false;
        std::string resolved = Resolve(path);
        if (!HasFolder(resolved)) return Error(HasFile(resolved) ? kAccessDenied : kFileNotFound);
        heldFolders.insert(Key(resolved));
        finalPath = Key(resolved);
        return true;
    }
    void ReleaseFolders() override { heldFolders.clear(); }
    unsigned long LastError() override { return lastError; }
    void SetLastError(unsigned long code) override { lastError = code; }

    int appends = 0;

private:
    template <typename Partial = void (*)()>
    bool Fails(
        const char* operation, const std::string& path, bool changes_, Partial partial = [] {}) {
        if (beforeOperation) beforeOperation(*this, operation, path);
        ++operations;
        if (changes_) {
            ++changes;
            if (crashAt != 0 && changes == crashAt) {
                partial();
                throw Crash();
            }
        }
        if ((failAt != 0 && operations == failAt) || (!failOn.empty() && failOn == operation)) {
            failOn.clear();
            failedOperation = std::string(operation) + " " + path;
            lastError = failCode;
            return true;
        }
        return false;
    }
    bool Error(unsigned long code) {
        lastError = code;
        return false;
    }
    static std::string Parent(const std::string& path) {
        size_t slash = path.find_last_of('\\');
        return slash == std::string::npos ? std::string() : path.substr(0, slash);
    }
    bool ParentExists(const std::string& path) const {
        std::string parent = Parent(path);
        return parent.empty() || HasFolder(parent);
    }
    bool Exists(const std::string& path) const { return HasFile(path) || HasFolder(path); }
    std::vector<std::string> Children(const std::string& folder, bool foldersToo) const {
        std::vector<std::string> names;
        std::string prefix = Key(folder) + "\\";
        auto add = [&](const std::string& key, const std::string& spelled) {
            if (key.compare(0, prefix.size(), prefix) != 0) return;
            if (key.find('\\', prefix.size()) != std::string::npos) return;
            names.push_back(spelled.substr(prefix.size()));
        };
        for (const auto& file : files) add(file.first, file.second.first);
        if (foldersToo)
            for (const auto& sub : folders) add(sub.first, sub.second);
        return names;
    }
    void MoveTree(const std::string& from, const std::string& to) {
        std::string prefix = Key(from);
        std::map<std::string, std::pair<std::string, File>> movedFiles;
        for (auto it = files.begin(); it != files.end();) {
            if (it->first == prefix ||
                it->first.compare(0, prefix.size() + 1, prefix + "\\") == 0) {
                std::string spelled = to + it->second.first.substr(from.size());
                movedFiles[Key(spelled)] = {spelled, it->second.second};
                it = files.erase(it);
            } else {
                ++it;
            }
        }
        std::map<std::string, std::string> movedFolders;
        for (auto it = folders.begin(); it != folders.end();) {
            if (it->first == prefix ||
                it->first.compare(0, prefix.size() + 1, prefix + "\\") == 0) {
                std::string spelled = to + it->second.substr(from.size());
                movedFolders[Key(spelled)] = spelled;
                it = folders.erase(it);
            } else {
                ++it;
            }
        }
        files.insert(movedFiles.begin(), movedFiles.end());
        folders.insert(movedFolders.begin(), movedFolders.end());
    }
};

}  // namespace fake
