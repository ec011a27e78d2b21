// The journal's file operations on the real file system.
#pragma once

#include "install/install_journal.h"
#include "platform/handles.h"

class WindowsJournalFiles : public JournalFiles {
public:
    Kind Probe(const std::string& path) override;
    bool CreateHiddenFolder(const std::string& path) override;
    bool RemoveFolder(const std::string& path) override;
    bool CreateRecord(const std::string& path) override;
    bool AppendRecord(const std::string& text) override;
    void CloseRecord() override;
    bool ReadAll(const std::string& path, std::string& text) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    bool List(const std::string& folder, std::vector<std::string>& names) override;
    unsigned long LastError() override;
    void SetLastError(unsigned long code) override;

private:
    platform::KernelHandle record_;
};
