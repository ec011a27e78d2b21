#include "config/update_context.h"

#include <cstdio>

#include "config/config_limits.h"
#include "platform/handles.h"
#include "platform/file_system.h"
#include "platform/path_services.h"

UpdateContext* g_pUpdateContext = nullptr;

namespace {

constexpr char kConfigFileName[] = "OVConfig.xml";

}  // namespace

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

bool UpdateContext::LookupMessage(const std::string& key, std::string& text) const {
    auto found = messages.find(key);
    if (found == messages.end()) return false;
    text = found->second;
    return true;
}
