// What the content copy will do, worked out from the configuration alone:
// the walk of the Upgrade entries and their groups, the path rules
// (platform/path_rules.h) applied to its dirs and names, confinement to the
// installation and package folders, and the configuration's faults, as an
// ordered list of steps. The program carries the steps out
// (install/content_install.h); the package checker (ovpack) inspects them.
// Pure logic over TinyXML.
#pragma once

#include <string>
#include <vector>

#include "config/package_names.h"
#include "platform/path_rules.h"

class TiXmlDocument;
class TiXmlElement;

// A group named kFirmwareGroupName (config/package_names.h) first moves the
// firmware images out of the installation folder: the files directly in it
// whose names end in kFirmwareImageSuffix (without regard to case).
constexpr char kFirmwareImageSuffix[] = ".bin";
bool IsFirmwareImageName(const std::string& name);

enum class PlanFault {
    kNone,
    kGroupWithoutDir,  // a group without its dir attribute
    kDirOutside,       // dir leaves the installation folder
    kFileWithoutName,  // a File without name, or with an empty one
    kNameOutside,      // name leaves the package folder
    kNotAFileName,     // name ends in a separator, "." or ".."
    kPathTooLong,      // a joined path would pass 259 characters
    kOddPath,          // an empty component, or a trailing "." or ".."
    kInJournal,        // the target lies in the update journal's folder
};

struct PlanStep {
    enum class Kind {
        kPurgeFirmware,  // move the "*.bin" files directly in `folder` aside
        kGroupFolder,    // `folder` must be an existing directory
        kCopyFile,       // copy `source` to `target`, logged as `fileName`
        kFault,          // the configuration is at fault here
    };
    Kind kind = Kind::kFault;
    int line = 0;         // the element's line in OVConfig.xml
    std::string entryId;  // the Product entry's id
    std::string group;    // the group element's name
    // kPurgeFirmware, kGroupFolder: a full folder path; kCopyFile: the
    // folder `target` lies in, as the file system reads the path (the
    // journal holds and checks it before anything is written there).
    std::string folder;
    std::string name;      // kCopyFile: the name attribute as written
    std::string source;    // kCopyFile: full source path
    std::string target;    // kCopyFile: full target path
    std::string fileName;  // kCopyFile: the last component of name
    PlanFault fault = PlanFault::kNone;
    std::string value;  // kFault: the offending value, when there is one
};

// The Product entries of every Upgrade element, in document order: with
// `productId` given, only those that apply to it (the default id or its
// own, compared without regard to case); with it empty, all of them.
std::vector<const TiXmlElement*> ProductEntries(const TiXmlDocument& document,
                                                const std::string& productId);

// Appends the steps of one Product entry. A fault is a step of its own; the
// program stops at the first, while the checker goes on: after a group's
// fault the plan continues with the next group, after a file's fault with
// the next file.
void PlanEntry(const TiXmlElement& entry, const std::string& targetBase,
               const std::string& sourceBase, std::vector<PlanStep>& plan,
               LeadBytePredicate isLeadByte);

// The plans of every entry that applies to `productId`, in document order
// (PlanEntry on each of ProductEntries).
std::vector<std::vector<PlanStep>> PlanEntries(const TiXmlDocument& document,
                                               const std::string& productId,
                                               const std::string& targetBase,
                                               const std::string& sourceBase,
                                               LeadBytePredicate isLeadByte);

// The copies a run makes, in order: those before the first fault, where
// the program stops.
std::vector<const PlanStep*> CopiesBeforeFirstFault(
    const std::vector<std::vector<PlanStep>>& plans);

// What a fault is, in words for the log and the checker.
const char* DescribePlanFault(PlanFault fault);
