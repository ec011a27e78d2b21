#include "config/update_context.h"

#include <cstdio>

#include "platform/handles.h"
#include "platform/path_services.h"

UpdateContext* g_pUpdateContext = nullptr;

namespace {

constexpr char kConfigFileName[] = "OVConfig.xml";

}  // namespace

UpdateContext::UpdateContext() : messages(kMessageTableBuckets) {
    platform::PathBuffer folder = "";
    if (platform::GetModulePath(folder)) platform::RemoveFileSpec(folder);
    programFolder = folder;
    char path[2 * platform::kPathBufferSize];
    std::snprintf(path, sizeof path, "%s\\%s", programFolder.c_str(), kConfigFileName);
    configPath = path;
}

bool UpdateContext::LoadConfig() {
    if (!platform::FileExists(configPath.c_str())) return false;
    if (!document.LoadFile(configPath.c_str(), TIXML_DEFAULT_ENCODING)) {
        // A file that could not be opened keeps the system's own code.
        if (document.ErrorId() != TiXmlBase::TIXML_ERROR_OPENING_FILE) {
            platform::SetLastErrorCode(ERROR_INVALID_DATA);
        }
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
