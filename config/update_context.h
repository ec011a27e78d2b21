// The update package's configuration: where the package lies, the version
// range it may upgrade, its message table, and the parsed document that the
// content copy walks (install/content_install_win.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/config_document.h"
#include "config/package_seal.h"
#include "tinyxml.h"

class UpdateContext {
public:
    // Works out the program's own folder and the path of OVConfig.xml in it.
    UpdateContext();
    UpdateContext(const UpdateContext&) = delete;
    UpdateContext& operator=(const UpdateContext&) = delete;

    // Parses OVConfig.xml. True when it parsed and holds a Version element and
    // at least one message. On false the system's last-error code tells why:
    // the code of the failed file access, or ERROR_INVALID_DATA when the file
    // was read but is not a usable configuration, or when the program is
    // sealed and the file or the manifest is not the sealed one (which of
    // them goes to the log: to the /log copy, as the installation's log is
    // not open yet).
    bool LoadConfig();

    // True and `text` set when `key` is in the table; false and `text` untouched otherwise.
    bool LookupMessage(const std::string& key, std::string& text) const;

    std::string programFolder;  // no trailing backslash, except a drive root
    std::string configPath;
    std::string minVersion;
    std::string maxVersion;
    TiXmlDocument document;
    MessageTable messages;
    // Set by LoadConfig for a sealed package: its manifest, checked
    // against the seal.
    std::optional<SealedPackage> sealed;

private:
    // With the program sealed: true when `configText` and the manifest are
    // the sealed ones (the manifest then read into `sealed`); false, the
    // file named in the log, when not. True for an unsealed program.
    bool CheckSeal(const std::string& configText);

    // Why the program's own folder could not be found (0: it was).
    unsigned long folderError_ = 0;
};

// The run's one configuration; null until start-up creates it. Owned by the
// application object, which hands its dialogs a lookup that reads through it.
extern UpdateContext* g_pUpdateContext;
