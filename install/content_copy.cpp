// Installing the update package's content into the installation folder.
// Every change goes through the install journal: a run that fails puts the
// folder back as it was, and one that was killed is put back by the next run.
#include <cstring>
#include <string>

#include "config/update_context.h"
#include "install/content_install.h"
#include "install/install_journal.h"
#include "install/journal_files.h"
#include "log/upgrade_log.h"
#include "platform/handles.h"
#include "platform/path_services.h"
#include "product/installed_product.h"

namespace {

constexpr char kDefaultProductId[] = "000000";

// A base folder for joins: cut to 259 characters, then given a trailing
// backslash. False when the backslash no longer fits.
bool MakeBase(platform::PathBuffer& base, const std::string& folder) {
    size_t length = folder.size() < platform::kPathBufferSize - 1 ? folder.size()
                                                                  : platform::kPathBufferSize - 1;
    std::memcpy(base, folder.data(), length);
    base[length] = '\0';
    return platform::AddBackslash(base);
}

// The system's wildcard search also matches "*.bin" against 8.3 short names,
// so "notes.binx" would match; only names that really end in ".bin" are
// firmware images.
bool IsFirmwareImageName(const std::string& name) {
    return name.size() >= 4 && EqualIgnoringCase(name.c_str() + name.size() - 4, ".bin");
}

// A fault of the configuration that no system call reports: the log names
// the element and its entry, and the failure report shows ERROR_INVALID_DATA.
bool ConfigurationFault(const TiXmlElement& element, const TiXmlElement& group, const char* what,
                        const char* value = nullptr) {
    const TiXmlNode* parent = group.Parent();
    const char* id = parent != nullptr && parent->ToElement() != nullptr
                         ? parent->ToElement()->Attribute("id")
                         : nullptr;
    UpgradeLog::Write("Invalid configuration at line %d (group %s of Product '%s'): %s%s%s",
                      element.Row(), group.Value(), id != nullptr ? id : "", what,
                      value != nullptr ? " " : "", value != nullptr ? value : "");
    platform::SetLastErrorCode(ERROR_INVALID_DATA);
    return false;
}

void LogRollbackIncomplete(const InstallJournal& journal) {
    UpgradeLog::Write(
        "Rollback incomplete: the journal in %s is kept; the next run will finish restoring.",
        journal.Folder().c_str());
}

// Writes the rollback's lines to the log.
class RollbackLog : public RollbackListener {
public:
    void Restored(const std::string& path) override {
        UpgradeLog::Write("Rollback: restored %s", path.c_str());
    }
    void Removed(const std::string& path) override {
        UpgradeLog::Write("Rollback: removed %s", path.c_str());
    }
    void Failed(const std::string& path, unsigned long code) override {
        UpgradeLog::Write("Rollback: could not restore %s (error %lu)", path.c_str(), code);
    }
};

// Undoes a failed run's changes. The code of the step that failed stays the
// thread's last error for the failure report. True when nothing is left over.
bool RollBackFailedUpdate(InstallJournal& journal) {
    platform::LastErrorKeeper keepFailureCode;
    if (!journal.HasWork()) return true;
    RollbackLog log;
    if (journal.RollBack(log)) {
        UpgradeLog::Write("Rollback complete: the installation is as it was before the update.");
        return true;
    }
    LogRollbackIncomplete(journal);
    return false;
}

}  // namespace

bool UpdateContext::CopyContent(const InstalledProduct& product) {
    rollbackIncomplete = false;
    std::string location;
    if (!product.GetInstallLocation(location)) return false;
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr) return false;
    std::string productId;
    if (!product.GetProductId(productId)) {
        DWORD code = ::GetLastError();
        UpgradeLog::Write("No product id: RAZoro.ini in %s has no ProductID in section Main",
                          location.c_str());
        platform::SetLastErrorCode(code);
        return false;
    }

    platform::PathBuffer targetBase;
    platform::PathBuffer sourceBase;
    if (!MakeBase(targetBase, location) || !MakeBase(sourceBase, programFolder)) return false;

    WindowsJournalFiles files;
    InstallJournal journal(files, targetBase);
    bool installed = true;
    for (const TiXmlNode* section = root->FirstChild(); installed && section != nullptr;
         section = section->NextSibling()) {
        if (!ElementNamed(section, "Upgrade")) continue;
        for (const TiXmlNode* entry = section->FirstChild(); entry != nullptr;
             entry = entry->NextSibling()) {
            if (!ElementNamed(entry, "Product")) continue;
            const TiXmlElement& productEntry = *entry->ToElement();
            const char* id = productEntry.Attribute("id");
            if (id == nullptr) id = "";
            bool applies = EqualIgnoringCase(id, kDefaultProductId) ||
                           EqualIgnoringCase(productId.c_str(), id);
            if (applies && !CopyProductContent(productEntry, targetBase, sourceBase, journal)) {
                installed = false;
                break;
            }
        }
    }
    if (installed && journal.Commit()) return true;
    rollbackIncomplete = !RollBackFailedUpdate(journal);
    return false;
}

bool UpdateContext::CopyProductContent(const TiXmlElement& product, const char* targetBase,
                                       const char* sourceBase, InstallJournal& journal) {
    for (const TiXmlNode* node = product.FirstChild(); node != nullptr;
         node = node->NextSibling()) {
        const TiXmlElement* group = node->ToElement();
        if (group == nullptr) continue;
        if (EqualIgnoringCase(group->Value(), "Firmware")) DeleteFirmwareFiles(targetBase, journal);

        const char* dir = group->Attribute("dir");
        if (dir == nullptr) return ConfigurationFault(*group, *group, "no dir attribute");
        // The elevated program writes only inside the installation folder.
        if (dir[0] != '\0' && !IsContainedRelativePath(dir, &platform::IsAnsiLeadByte)) {
            return ConfigurationFault(*group, *group, "dir leaves the installation folder:", dir);
        }
        platform::PathBuffer groupFolder;
        bool joined = dir[0] == '\0' ? platform::CopyToPathBuffer(groupFolder, targetBase)
                                     : platform::CombinePath(groupFolder, targetBase, dir);
        if (!joined) return false;
        if (!platform::IsDirectory(groupFolder)) {
            UpgradeLog::Write("Directory not found %s...\n", groupFolder);
            return false;
        }

        for (const TiXmlNode* item = group->FirstChild(); item != nullptr;
             item = item->NextSibling()) {
            if (!ElementNamed(item, "File")) continue;
            const TiXmlElement& file = *item->ToElement();
            const char* name = file.Attribute("name");
            if (name == nullptr || name[0] == '\0') {
                return ConfigurationFault(file, *group, "File without a name");
            }
            // ... and reads only from the package folder.
            if (!IsContainedRelativePath(name, &platform::IsAnsiLeadByte)) {
                return ConfigurationFault(file, *group, "name leaves the package folder:", name);
            }
            platform::PathBuffer sourceFile;
            if (!platform::CombinePath(sourceFile, sourceBase, name)) return false;
            platform::PathBuffer fileName;
            if (!platform::CopyToPathBuffer(fileName, name)) return false;
            platform::StripPath(fileName);
            if (fileName[0] == '\0' || std::strcmp(fileName, ".") == 0 ||
                std::strcmp(fileName, "..") == 0 || fileName[std::strlen(fileName) - 1] == '\\') {
                return ConfigurationFault(file, *group, "name is not a file name:", name);
            }
            platform::PathBuffer targetFile;
            if (!platform::CombinePath(targetFile, groupFolder, fileName)) return false;

            std::string lineText;
            LookupMessage("updatefile", lineText);
            UpgradeLog::WriteConfigured(lineText.c_str(), fileName);

            // A package on read-only media must not stop the copy. The target
            // needs no such care: the journal has moved it away.
            platform::SetNormalAttributes(sourceFile);
            if (!journal.PrepareTarget(targetFile) ||
                !platform::CopyFileReplacing(sourceFile, targetFile)) {
                UpgradeLog::Write("Copy file failed %s...", fileName);
                return false;
            }
        }
    }
    return true;
}

// Firmware images are moved into the journal rather than deleted, so that a
// failed update gets them back.
bool UpdateContext::DeleteFirmwareFiles(const char* folder, InstallJournal& journal) {
    platform::PathBuffer pattern;
    if (!platform::CombinePath(pattern, folder, "*.bin")) return false;
    platform::FileSearch search;
    std::string name;
    if (!search.First(pattern, name)) return false;
    do {
        if (search.IsFolder() || !IsFirmwareImageName(name)) continue;
        platform::PathBuffer file;
        if (!platform::CombinePath(file, folder, name.c_str())) return false;
        if (!journal.MoveAside(file)) return false;
    } while (search.Next(name));
    return true;
}

bool RecoverInterruptedUpdate(const std::string& installLocation) {
    platform::PathBuffer base;
    if (!MakeBase(base, installLocation)) return false;
    WindowsJournalFiles files;
    InstallJournal journal(files, base);
    if (!journal.Exists()) return true;
    if (!journal.Load()) {
        DWORD code = ::GetLastError();
        UpgradeLog::Write(
            "The journal of an interrupted update in %s can't be read; nothing was changed.",
            journal.Folder().c_str());
        platform::SetLastErrorCode(code);
        return false;
    }
    bool interrupted = journal.Interrupted();
    RollbackLog log;
    unsigned long failure = 0;
    if (!journal.RollBack(log, &failure)) {
        LogRollbackIncomplete(journal);
        platform::SetLastErrorCode(failure != 0 ? failure : ERROR_INVALID_DATA);
        return false;
    }
    if (interrupted) UpgradeLog::Write("An interrupted update was rolled back.");
    return true;
}
