// The journal's file operations on the real file system: I/O only. What
// follows a copy's bytes (the seal's check, the progress bar) is told of
// them through a CopyObserver.
#pragma once

#include "install/copy_observer.h"
#include "install/journal_files.h"
#include "platform/file_system_win.h"
#include "platform/handles_win.h"

class WindowsJournalFiles : public JournalFiles {
public:
    // `observer`, when given, is told of every copy and each of its chunks.
    explicit WindowsJournalFiles(CopyObserver* observer = nullptr) : observer_(observer) {}
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
    platform::KernelHandle record_;
    // The folders the run writes in, held until it ends.
    std::vector<platform::KernelHandle> heldFolders_;
    CopyObserver* observer_;
};
