#include "install/install_plan.h"

#include "config/config_document.h"
#include "install/journal_names.h"
#include "platform/text_rules.h"
#include "tinyxml.h"

namespace {

PlanStep NewStep(PlanStep::Kind kind, const TiXmlElement& element, const std::string& entryId,
                 const std::string& group) {
    PlanStep step;
    step.kind = kind;
    step.line = element.Row();
    step.entryId = entryId;
    step.group = group;
    return step;
}

PlanStep Fault(const TiXmlElement& element, const std::string& entryId, const std::string& group,
               PlanFault fault, const std::string& value = std::string()) {
    PlanStep step = NewStep(PlanStep::Kind::kFault, element, entryId, group);
    step.fault = fault;
    step.value = value;
    return step;
}

}  // namespace

bool IsFirmwareImageName(const std::string& name) {
    return EndsWithIgnoringCase(name, kFirmwareImageSuffix);
}

std::vector<const TiXmlElement*> ProductEntries(const TiXmlDocument& document,
                                                const std::string& productId) {
    std::vector<const TiXmlElement*> entries;
    const TiXmlElement* root = document.RootElement();
    if (root == nullptr) return entries;
    for (const TiXmlNode* section = root->FirstChild(); section != nullptr;
         section = section->NextSibling()) {
        if (!ElementNamed(section, config_element::kUpgrade)) continue;
        for (const TiXmlNode* entry = section->FirstChild(); entry != nullptr;
             entry = entry->NextSibling()) {
            if (!ElementNamed(entry, config_element::kProduct)) continue;
            const char* id = entry->ToElement()->Attribute(config_attribute::kId);
            if (id == nullptr) id = "";
            if (productId.empty() || EqualIgnoringCase(id, kDefaultProductId) ||
                EqualIgnoringCase(productId.c_str(), id)) {
                entries.push_back(entry->ToElement());
            }
        }
    }
    return entries;
}

void PlanEntry(const TiXmlElement& entry, const std::string& targetBase,
               const std::string& sourceBase, std::vector<PlanStep>& plan,
               LeadBytePredicate isLeadByte) {
    const char* idAttribute = entry.Attribute(config_attribute::kId);
    const std::string entryId = idAttribute != nullptr ? idAttribute : "";
    for (const TiXmlNode* node = entry.FirstChild(); node != nullptr; node = node->NextSibling()) {
        const TiXmlElement* group = node->ToElement();
        if (group == nullptr) continue;
        const std::string groupName = group->Value();
        if (EqualIgnoringCase(group->Value(), kFirmwareGroupName)) {
            // The images go first, whatever becomes of the group.
            PlanStep purge = NewStep(PlanStep::Kind::kPurgeFirmware, *group, entryId, groupName);
            purge.folder = targetBase;
            plan.push_back(purge);
        }
        const char* dir = group->Attribute(config_attribute::kDir);
        if (dir == nullptr) {
            plan.push_back(Fault(*group, entryId, groupName, PlanFault::kGroupWithoutDir));
            continue;
        }
        // The elevated program writes only inside the installation folder.
        if (dir[0] != '\0' && !IsContainedRelativePath(dir, isLeadByte)) {
            plan.push_back(Fault(*group, entryId, groupName, PlanFault::kDirOutside, dir));
            continue;
        }
        if (dir[0] != '\0' && !IsPlainRelativePath(dir, isLeadByte)) {
            plan.push_back(Fault(*group, entryId, groupName, PlanFault::kOddPath, dir));
            continue;
        }
        // The folder as the shell's join gives it (the log names it so).
        PlanStep folder = NewStep(PlanStep::Kind::kGroupFolder, *group, entryId, groupName);
        if (!JoinContainedPath(targetBase, dir, folder.folder, isLeadByte)) {
            plan.push_back(Fault(*group, entryId, groupName, PlanFault::kPathTooLong, dir));
            continue;
        }
        // The journal's folders hold the kept old files: nothing goes there.
        if (IsJournalFolderName(folder.folder.substr(targetBase.size()), isLeadByte)) {
            plan.push_back(Fault(*group, entryId, groupName, PlanFault::kInJournal, dir));
            continue;
        }
        plan.push_back(folder);
        const std::string folderBase = WithTrailingBackslash(folder.folder);

        for (const TiXmlNode* item = group->FirstChild(); item != nullptr;
             item = item->NextSibling()) {
            if (!ElementNamed(item, config_element::kFile)) continue;
            const TiXmlElement& file = *item->ToElement();
            const char* name = file.Attribute(config_attribute::kName);
            if (name == nullptr || name[0] == '\0') {
                plan.push_back(Fault(file, entryId, groupName, PlanFault::kFileWithoutName));
                continue;
            }
            // ... and reads only from the package folder.
            if (!IsContainedRelativePath(name, isLeadByte)) {
                plan.push_back(Fault(file, entryId, groupName, PlanFault::kNameOutside, name));
                continue;
            }
            if (!IsPlainRelativePath(name, isLeadByte)) {
                plan.push_back(Fault(file, entryId, groupName, PlanFault::kOddPath, name));
                continue;
            }
            PlanStep copy = NewStep(PlanStep::Kind::kCopyFile, file, entryId, groupName);
            copy.name = name;
            copy.fileName = LastPathComponent(name, isLeadByte);
            if (copy.fileName.empty() || copy.fileName == "." || copy.fileName == "..") {
                plan.push_back(Fault(file, entryId, groupName, PlanFault::kNotAFileName, name));
                continue;
            }
            if (!JoinContainedPath(sourceBase, name, copy.source, isLeadByte) ||
                !JoinContainedPath(folderBase, copy.fileName, copy.target, isLeadByte)) {
                plan.push_back(Fault(file, entryId, groupName, PlanFault::kPathTooLong, name));
                continue;
            }
            if (IsJournalFolderName(copy.target.substr(targetBase.size()), isLeadByte)) {
                plan.push_back(Fault(file, entryId, groupName, PlanFault::kInJournal, name));
                continue;
            }
            // Where the file system puts the target, not the group's folder
            // as written: in a double-byte code page the folder's last
            // character may end in the byte of a backslash.
            copy.folder = FolderOfPath(copy.target, isLeadByte);
            plan.push_back(copy);
        }
    }
}

std::vector<std::vector<PlanStep>> PlanEntries(const TiXmlDocument& document,
                                               const std::string& productId,
                                               const std::string& targetBase,
                                               const std::string& sourceBase,
                                               LeadBytePredicate isLeadByte) {
    std::vector<std::vector<PlanStep>> plans;
    for (const TiXmlElement* entry : ProductEntries(document, productId)) {
        plans.emplace_back();
        PlanEntry(*entry, targetBase, sourceBase, plans.back(), isLeadByte);
    }
    return plans;
}

std::vector<const PlanStep*> CopiesBeforeFirstFault(
    const std::vector<std::vector<PlanStep>>& plans) {
    std::vector<const PlanStep*> copies;
    for (const std::vector<PlanStep>& plan : plans) {
        for (const PlanStep& step : plan) {
            if (step.kind == PlanStep::Kind::kFault) return copies;
            if (step.kind == PlanStep::Kind::kCopyFile) copies.push_back(&step);
        }
    }
    return copies;
}

const char* DescribePlanFault(PlanFault fault) {
    switch (fault) {
        case PlanFault::kNone:
            return "no fault";
        case PlanFault::kGroupWithoutDir:
            return "no dir attribute";
        case PlanFault::kDirOutside:
            return "dir leaves the installation folder:";
        case PlanFault::kFileWithoutName:
            return "File without a name";
        case PlanFault::kNameOutside:
            return "name leaves the package folder:";
        case PlanFault::kNotAFileName:
            return "name is not a file name:";
        case PlanFault::kPathTooLong:
            return "path longer than 259 characters:";
        case PlanFault::kOddPath:
            return "path with an empty component or a trailing \".\" or \"..\":";
        case PlanFault::kInJournal:
            return "target inside the update journal's folder:";
    }
    return "";
}
