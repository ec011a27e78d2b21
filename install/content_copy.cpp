// Installing the update package's content into the installation folder.
#include <cstring>
#include <string>

#include "config/update_context.h"
#include "log/upgrade_log.h"
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

}  // namespace

bool UpdateContext::CopyContent(const InstalledProduct& product) {
    std::string location;
    if (!product.GetInstallLocation(location)) return false;
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr) return false;
    std::string productId;
    if (!product.GetProductId(productId)) return false;

    platform::PathBuffer targetBase;
    platform::PathBuffer sourceBase;
    if (!MakeBase(targetBase, location) || !MakeBase(sourceBase, programFolder)) return false;

    for (const TiXmlNode* section = root->FirstChild(); section != nullptr;
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
            if (applies && !CopyProductContent(productEntry, targetBase, sourceBase)) return false;
        }
    }
    return true;
}

bool UpdateContext::CopyProductContent(const TiXmlElement& product, const char* targetBase,
                                       const char* sourceBase) {
    for (const TiXmlNode* node = product.FirstChild(); node != nullptr;
         node = node->NextSibling()) {
        const TiXmlElement* group = node->ToElement();
        if (group == nullptr) continue;
        if (EqualIgnoringCase(group->Value(), "Firmware")) DeleteFirmwareFiles(targetBase);

        const char* dir = group->Attribute("dir");
        if (dir == nullptr) return false;
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
            const char* name = item->ToElement()->Attribute("name");
            if (name == nullptr) return false;
            platform::PathBuffer sourceFile;
            if (!platform::CombinePath(sourceFile, sourceBase, name)) return false;
            platform::PathBuffer fileName;
            if (!platform::CopyToPathBuffer(fileName, name)) return false;
            platform::StripPath(fileName);
            platform::PathBuffer targetFile;
            if (!platform::CombinePath(targetFile, groupFolder, fileName)) return false;

            std::string lineText;
            LookupMessage("updatefile", lineText);
            UpgradeLog::WriteConfigured(lineText.c_str(), fileName);

            // A target that does not exist yet, or a package on read-only
            // media, must not stop the copy; only the copy itself decides.
            platform::SetNormalAttributes(sourceFile);
            platform::SetNormalAttributes(targetFile);
            if (!platform::CopyFileReplacing(sourceFile, targetFile)) {
                UpgradeLog::Write("Copy file failed %s...", fileName);
                return false;
            }
        }
    }
    return true;
}

bool UpdateContext::DeleteFirmwareFiles(const char* folder) {
    platform::PathBuffer pattern;
    if (!platform::CombinePath(pattern, folder, "*.bin")) return false;
    platform::FileSearch search;
    std::string name;
    if (!search.First(pattern, name)) return false;
    do {
        if (!IsFirmwareImageName(name)) continue;
        platform::PathBuffer file;
        if (!platform::CombinePath(file, folder, name.c_str())) return false;
        if (!platform::SetNormalAttributes(file) || !platform::DeleteFileAt(file)) return false;
    } while (search.Next(name));
    return true;
}
