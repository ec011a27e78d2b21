// The update package's configuration: where the package lies, the version
// range it may upgrade, its message table, and the parsed document that the
// content copy walks.
#pragma once

#include <string>
#include <vector>

#include "config/config_document.h"
#include "tinyxml.h"

class InstalledProduct;
class InstallJournal;
struct PlanStep;

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
    bool CopyContent(const InstalledProduct& product);
    // Installs every copy group of one Product entry, carrying out the
    // entry's plan (install/install_plan.h) step by step through the
    // journal. False at the first failing step or fault.
    bool CopyProductContent(const std::vector<PlanStep>& plan, InstallJournal& journal);
    // Moves every "*.bin" file directly in `folder` into the journal. False
    // when none matched or one could not be moved; the search stops there.
    bool DeleteFirmwareFiles(const char* folder, InstallJournal& journal);

    std::string programFolder;  // no trailing backslash, except a drive root
    std::string configPath;
    std::string minVersion;
    std::string maxVersion;
    TiXmlDocument document;
    MessageTable messages;
    // Set by a failed CopyContent whose rollback left the journal behind.
    bool rollbackIncomplete = false;
};

// The run's one configuration; null until start-up creates it. Owned by the
// application object.
extern UpdateContext* g_pUpdateContext;
