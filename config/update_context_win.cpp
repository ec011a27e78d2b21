#include "config/update_context.h"

#include <cstdio>
#include <utility>

#include "config/config_limits.h"
#include "config/package_names.h"
#include "config/seal_section.h"
#include "log/upgrade_log.h"
#include "platform/handles_win.h"
#include "platform/file_system_win.h"
#include "platform/path_rules.h"
#include "platform/path_services_win.h"

UpdateContext* g_pUpdateContext = nullptr;

UpdateContext::UpdateContext() : messages(kMessageTableBuckets) {
    platform::PathBuffer folder = "";
    if (!platform::GetModulePath(folder) || !platform::RemoveFileSpec(folder)) {
        // Reported by LoadConfig, with the system's code.
        folderError_ = ::GetLastError();
        folder[0] = '\0';
    }
    programFolder = folder;
    char path[2 * platform::kPathBufferSize];
    std::snprintf(path, sizeof path, "%s\\%s", programFolder.c_str(), kConfigFileName);
    configPath = path;
}

bool UpdateContext::LoadConfig() {
    if (folderError_ != 0) {
        platform::SetLastErrorCode(folderError_);
        return false;
    }
    if (!platform::FileExists(configPath.c_str())) return false;
    // Read once and parse what was checked: the package folder may be
    // writable by others while the elevated program runs.
    std::string text;
    if (!platform::ReadWholeFileAt(configPath, text, kConfigLimits.maxBytes)) {
        // A file that could not be read keeps the system's own code.
        if (::GetLastError() == ERROR_FILE_TOO_LARGE)
            platform::SetLastErrorCode(ERROR_INVALID_DATA);
        return false;
    }
    // A sealed package's configuration is used only once it is the one the
    // vendor sealed: a changed link would be opened by an elevated program.
    if (!CheckSeal(text)) {
        platform::SetLastErrorCode(ERROR_INVALID_DATA);
        return false;
    }
    document.SetValue(configPath.c_str());
    if (!ParseConfigText(text, document)) {
        platform::SetLastErrorCode(ERROR_INVALID_DATA);
        return false;
    }
    if (!ReadConfigDocument(document, minVersion, maxVersion, messages)) {
        platform::SetLastErrorCode(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

bool UpdateContext::CheckSeal(const std::string& configText) {
    sealed.reset();
    PackageSeal seal;
    SealState state = ProgramSeal(seal);
    if (state == SealState::kUnsealed) return true;
    if (state == SealState::kDamaged) {
        UpgradeLog::Write(kSealChangedLine, kProgramFileName);
        return false;
    }
    if (Sha256::Of(configText) != seal.config) {
        UpgradeLog::Write(kSealChangedLine, kConfigFileName);
        return false;
    }
    // Read once: the manifest checked is the manifest used.
    std::string manifestText;
    std::string manifestPath = programFolder + "\\" + kManifestFileName;
    if (!platform::ReadWholeFileAt(manifestPath, manifestText, kManifestMaxBytes)) {
        UpgradeLog::Write(
            platform::IsNotFoundCode(::GetLastError()) ? kSealMissingLine : kSealUnreadableLine,
            kManifestFileName);
        return false;
    }
    SealedPackage package;
    if (Sha256::Of(manifestText) != seal.manifest || !package.manifest.Parse(manifestText) ||
        !MakePlanBase(programFolder, package.sourceBase)) {
        UpgradeLog::Write(kSealChangedLine, kManifestFileName);
        return false;
    }
    sealed = std::move(package);
    return true;
}

bool UpdateContext::LookupMessage(const std::string& key, std::string& text) const {
    auto found = messages.find(key);
    if (found == messages.end()) return false;
    text = found->second;
    return true;
}
