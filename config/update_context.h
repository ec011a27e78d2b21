// The update package's configuration: where the package lies, the version
// range it may upgrade, its message table, and the parsed document that the
// content copy walks.
#pragma once

#include <string>
#include <vector>

#include "config/config_document.h"
#include "tinyxml.h"

class CopyProgress;
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
    // for the default id and for the product's id). False at the first
    // failure, after every change of the run has been rolled back (the
    // failing step's code stays the last error); `rollbackIncomplete` tells
    // whether something could not be put back.
    // Carried out by ContentInstaller (install/content_install.h), which
    // holds the copy of one entry (CopyProductContent) and the firmware
    // purge (MoveFirmwareImagesAside).
    // `progress`, when given, learns what the run will copy and follows it.
    bool CopyContent(const InstalledProduct& product, CopyProgress* progress = nullptr);

    // True when `path` names the installation's log or a file that the
    // update would write (as the copy plans it, up to its first fault).
    bool UpdateWrites(const InstalledProduct& product, const std::string& path) const;

    std::string programFolder;  // no trailing backslash, except a drive root
    std::string configPath;
    std::string minVersion;
    std::string maxVersion;
    TiXmlDocument document;
    MessageTable messages;
    // Set by a failed CopyContent whose rollback left the journal behind.
    bool rollbackIncomplete = false;

private:
    // Why the program's own folder could not be found (0: it was).
    unsigned long folderError_ = 0;
};

// The run's one configuration; null until start-up creates it. Owned by the
// application object.
extern UpdateContext* g_pUpdateContext;
