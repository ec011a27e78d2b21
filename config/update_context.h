// The update package's configuration: where the package lies, the version
// range it may upgrade, its message table, and the parsed document that the
// content copy walks.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/config_document.h"
#include "config/package_seal.h"
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
    // was read but is not a usable configuration, or when the program is
    // sealed and the file or the manifest is not the sealed one (which of
    // them goes to the log: to the /log copy, as the installation's log is
    // not open yet).
    bool LoadConfig();

    // For a sealed package (the program carries a seal), before any copy is
    // planned: true when every file the update would copy for `product` is
    // listed in the manifest and holds the sealed bytes. False, with the
    // file named in the log, otherwise: ERROR_INVALID_DATA for a file that
    // is not listed, was changed or is missing, the system's code for one
    // that is there but can't be read. Reads each of those files once. True
    // at once for an unsealed one.
    bool VerifySealedPayload(const InstalledProduct& product) const;

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
    // `committed`, when given, is called once the update is final, before
    // the old files it replaced are deleted.
    bool CopyContent(const InstalledProduct& product, CopyProgress* progress = nullptr,
                     const std::function<void()>& committed = nullptr);

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
