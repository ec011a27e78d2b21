// The update package's configuration: where the package lies, the version
// range it may upgrade, its message table, and the parsed document that the
// content copy walks.
#pragma once

#include <string>

#include "config/config_document.h"
#include "tinyxml.h"

class InstalledProduct;

class UpdateContext {
public:
    // Works out the program's own folder and the path of OVConfig.xml in it.
    UpdateContext();
    UpdateContext(const UpdateContext&) = delete;
    UpdateContext& operator=(const UpdateContext&) = delete;

    // Parses OVConfig.xml. True when it parsed and holds a Version element and
    // at least one message. On false the system's last-error code tells why:
    // the code of the failed file access, or ERROR_INVALID_DATA when the file
    // was read but is not a usable configuration.
    bool LoadConfig();

    // True and `text` set when `key` is in the table; false and `text` untouched otherwise.
    bool LookupMessage(const std::string& key, std::string& text) const;

    // Installs the package's content for the installed product (every entry
    // for the default id and for the product's id). False at the first failure.
    bool CopyContent(const InstalledProduct& product);
    // Installs every copy group of one Product entry. False at the first failure.
    bool CopyProductContent(const TiXmlElement& product, const char* targetBase,
                            const char* sourceBase);
    // Deletes every "*.bin" directly in `folder`. False when none matched or
    // one could not be deleted; the search stops at that one.
    bool DeleteFirmwareFiles(const char* folder);

    std::string programFolder;  // no trailing backslash, except a drive root
    std::string configPath;
    std::string minVersion;
    std::string maxVersion;
    TiXmlDocument document;
    MessageTable messages;
};

// The run's one configuration; null until start-up creates it. Owned by the
// application object.
extern UpdateContext* g_pUpdateContext;
