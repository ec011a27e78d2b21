// libFuzzer target: the whole configuration load as the program does it —
// the limits' pre-scan, the parse, the version range and message table —
// and the content copy's plan walked from it by the program's own walk
// (PlanEntries, as UpdateContext::CopyContent calls it, for one product id
// and the installation and package folders as plan bases), under a
// single-byte and a double-byte code page. Nothing may crash, hang or leak,
// whatever the bytes; and every copy planned must read inside the package
// folder and write inside the installation folder, outside the journal's
// folders, within the room of a path.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/config_document.h"
#include "config/config_limits.h"
#include "install/install_plan.h"
#include "install/journal_names.h"
#include "tests/shift_jis.h"
#include "tinyxml.h"

namespace {

// The id of the installation the plan is for; the sample seeds' own.
constexpr char kProductId[] = "123456";
// The folders as MakePlanBase gives them.
constexpr char kTargetBase[] = "C:\\Program Files (x86)\\Orvexa\\";
constexpr char kSourceBase[] = "C:\\Package\\";

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

void CheckCopy(const PlanStep& copy, LeadBytePredicate isLeadByte) {
    const std::string target = kTargetBase;
    const std::string source = kSourceBase;
    if (!StartsWith(copy.target, target) || !StartsWith(copy.source, source)) std::abort();
    if (copy.target.size() > kMaxPathText || copy.source.size() > kMaxPathText) std::abort();
    if (IsJournalFolderName(copy.target.substr(target.size()), isLeadByte)) std::abort();
    if (copy.fileName.empty() || copy.fileName == "." || copy.fileName == "..") std::abort();
    // The folder the journal holds and checks is the one the write lands in.
    if (copy.folder != FolderOfPath(copy.target, isLeadByte)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TiXmlDocument document;
    if (!ParseConfigText(text, document)) return 0;
    std::string minVersion;
    std::string maxVersion;
    MessageTable messages;
    ReadConfigDocument(document, minVersion, maxVersion, messages);
    for (LeadBytePredicate isLeadByte : {static_cast<LeadBytePredicate>(nullptr),
                                         static_cast<LeadBytePredicate>(&ShiftJisLeadByte)}) {
        std::vector<std::vector<PlanStep>> plans =
            PlanEntries(document, kProductId, kTargetBase, kSourceBase, isLeadByte);
        for (const std::vector<PlanStep>& plan : plans) {
            for (const PlanStep& step : plan) {
                if (step.kind == PlanStep::Kind::kCopyFile) CheckCopy(step, isLeadByte);
            }
        }
        // The copies a run makes are those planned before the first fault.
        for (const PlanStep* copy : CopiesBeforeFirstFault(plans)) CheckCopy(*copy, isLeadByte);
    }
    return 0;
}
