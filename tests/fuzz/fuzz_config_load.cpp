// libFuzzer target: the whole configuration load as the program does it —
// the limits' pre-scan, the parse, the version range and message table, and
// the confinement check of every group folder and file name — must neither
// crash, hang nor leak, whatever the bytes.
#include <cstdint>
#include <string>

#include "config/config_document.h"
#include "config/config_limits.h"
#include "install/journal_names.h"
#include "tinyxml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TiXmlDocument document;
    if (!ParseConfigText(text, document)) return 0;
    std::string minVersion;
    std::string maxVersion;
    MessageTable messages;
    ReadConfigDocument(document, minVersion, maxVersion, messages);
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr) return 0;
    for (const TiXmlNode* section = root->FirstChild(); section; section = section->NextSibling()) {
        if (!ElementNamed(section, "Upgrade")) continue;
        for (const TiXmlNode* entry = section->FirstChild(); entry; entry = entry->NextSibling()) {
            if (!ElementNamed(entry, "Product")) continue;
            for (const TiXmlElement* group = entry->FirstChildElement(); group;
                 group = group->NextSiblingElement()) {
                if (const char* dir = group->Attribute("dir"))
                    IsContainedRelativePath(dir, nullptr);
                for (const TiXmlElement* file = group->FirstChildElement(); file;
                     file = file->NextSiblingElement()) {
                    if (const char* name = file->Attribute("name"))
                        IsContainedRelativePath(name, nullptr);
                }
            }
        }
    }
    return 0;
}
