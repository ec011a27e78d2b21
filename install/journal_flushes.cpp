#include "install/journal_flushes.h"

void JournalFlushes::LookAt(const std::string& installFolder) {
    ordered_ = files_.KeepsNameOrder(installFolder);
}

void JournalFlushes::Changed(const std::string& path) {
    if (ordered_) return;
    std::string folder = FolderOfPath(path, isLeadByte_);
    if (!folder.empty()) unsettled_.insert(folder);
}

bool JournalFlushes::Settle() {
    bool flushed = true;
    for (const std::string& folder : unsettled_) flushed = files_.FlushFolder(folder) && flushed;
    unsettled_.clear();
    return flushed;
}
