// The journal's file operations on the real file system.
#pragma once

#include "install/install_journal.h"
#include "platform/file_system_win.h"
#include "platform/handles_win.h"

class CopyProgress;
struct SealedPackage;

class WindowsJournalFiles : public JournalFiles {
public:
    // `progress`, when given, is told of every chunk each copy makes.
    // `sealed`, when given, is the package the copies come from: each copy
    // is hashed as it is written and abandoned (ERROR_INVALID_DATA, the
    // file named in the log) unless its source is the sealed file.
    explicit WindowsJournalFiles(CopyProgress* progress = nullptr,
                                 const SealedPackage* sealed = nullptr)
        : progress_(progress), sealed_(sealed) {}
    Kind Probe(const std::string& path) override;
    bool CreateJournalFolder(const std::string& path) override;
    bool RemoveFolder(const std::string& path) override;
    bool CreateRecord(const std::string& path) override;
    bool AppendRecord(const std::string& text) override;
    void CloseRecord() override;
    bool CreateMark(const std::string& path) override;
    bool ReadAll(const std::string& path, std::string& text) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool Link(const std::string& existing, const std::string& link) override;
    bool Replace(const std::string& from, const std::string& to) override;
    bool CanReplace(const std::string& path) override;
    bool SameFile(const std::string& a, const std::string& b, bool& same) override;
    bool Copy(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    bool FlushFolder(const std::string& folder) override;
    bool KeepsNameOrder(const std::string& folder) override;
    bool List(const std::string& folder, std::vector<std::string>& names) override;
    bool ListFilesEndingIn(const std::string& folder, const std::string& suffix,
                           std::vector<std::string>& names) override;
    bool FinalPath(const std::string& path, std::string& finalPath) override;
    bool HoldFolder(const std::string& path, std::string& finalPath) override;
    void ReleaseFolders() override;
    unsigned long LastError() override;
    void SetLastError(unsigned long code) override;

private:
    // After a copy from a sealed package failed: when the reason is that its
    // source is gone, names it in the log and turns the code into
    // ERROR_INVALID_DATA (a file missing from a sealed package does not
    // match the seal); any other code is left as it is.
    void SealedSourceGone(const std::string& source);

    platform::KernelHandle record_;
    // The folders the run writes in, held until it ends.
    std::vector<platform::KernelHandle> heldFolders_;
    CopyProgress* progress_;
    const SealedPackage* sealed_;
};
