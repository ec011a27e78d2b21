#include "ovpack/package_check.h"

#include "config/message_keys.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <set>

#include "config/config_document.h"
#include "config/package_names.h"
#include "config/package_seal.h"
#include "config/config_limits.h"
#include "platform/text_rules.h"
#include "product/version_fields.h"
#include "tinyxml.h"

namespace {

// Windows matches file names without regard to case.
std::string FoldName(const std::string& name) {
    std::string out = FoldedName(WithBackslashes(name));
    // "a\.\b" and "a\..\b" name what the program would open.
    std::string resolved;
    if (!JoinContainedPath("", out, resolved, nullptr)) return out;
    return resolved;
}

// "1 MiB", "512 KiB" or "100 bytes".
std::string SizeText(size_t bytes) {
    if (bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

// A log text may hold one "%s" and "%%", nothing else that printf would read.
bool LogTextIsSafe(const std::string& text) {
    int strings = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
        } else if (i + 1 < text.size() && text[i + 1] == 's') {
            ++strings;
            ++i;
        } else {
            return false;
        }
    }
    return strings <= 1;
}

bool IsFourNumericFields(const std::string& version) {
    std::vector<std::string> fields;
    if (SplitFields(version, '.', fields) != 4) return false;
    for (const std::string& field : fields) {
        if (field.empty()) return false;
        for (char c : field) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        }
    }
    return true;
}

class Checker {
public:
    Checker(const PackageContents& package, const CheckOptions& options)
        : package_(package), options_(options) {}

    CheckReport Run() {
        for (const std::string& name : options_.namesOutsideCodePage) {
            Warning(0, "the file name " + name + " has characters that code page " +
                           std::to_string(options_.codePage) +
                           " can't hold: on such a system the program can't open it");
        }
        if (!package_.configFound) {
            Error(0, "OVConfig.xml is missing: every run ends in the failure report");
            return report_;
        }
        if (!Parse()) return report_;
        CheckVersion();
        CheckMessages();
        CheckEntries();
        return report_;
    }

private:
    void Error(int line, const std::string& message) {
        report_.findings.push_back({Finding::Severity::kError, line, message});
    }
    void Warning(int line, const std::string& message) {
        report_.findings.push_back({Finding::Severity::kWarning, line, message});
    }

    bool Parse() {
        size_t line = 0;
        switch (CheckConfigLimits(package_.configText, kConfigLimits, &line)) {
            case ConfigLimitFault::kNone:
                break;
            case ConfigLimitFault::kTooLarge:
                Error(0, "OVConfig.xml is larger than " + SizeText(kConfigLimits.maxBytes));
                return false;
            case ConfigLimitFault::kTooDeep:
                Error(static_cast<int>(line), "elements nested deeper than " +
                                                  std::to_string(kConfigLimits.maxDepth) +
                                                  " levels");
                return false;
            case ConfigLimitFault::kTooManyAttributes:
                Error(static_cast<int>(line),
                      "an element with more than " +
                          std::to_string(kConfigLimits.maxAttributesPerElement) + " attributes");
                return false;
        }
        if (!ParseConfigText(package_.configText, document_)) {
            char message[256];
            std::snprintf(message, sizeof message, "not well-formed XML (column %d): %s",
                          document_.ErrorCol(), document_.ErrorDesc());
            Error(document_.ErrorRow(), message);
            return false;
        }
        if (document_.RootElement() == nullptr) {
            Error(0, "no root element");
            return false;
        }
        return true;
    }

    void CheckVersion() {
        const TiXmlElement* version = nullptr;
        for (const TiXmlNode* child = document_.RootElement()->FirstChild(); child != nullptr;
             child = child->NextSibling()) {
            if (ElementNamed(child, config_element::kVersion))
                version = child->ToElement();  // the last one counts
        }
        if (version == nullptr) {
            Error(document_.RootElement()->Row(),
                  "no Version element: every run ends in the failure report");
            return;
        }
        const char* minimum = version->Attribute(config_attribute::kMin);
        const char* maximum = version->Attribute(config_attribute::kMax);
        bool usable = true;
        for (const auto& bound : {std::make_pair(config_attribute::kMin, minimum),
                                  std::make_pair(config_attribute::kMax, maximum)}) {
            if (bound.second == nullptr) {
                Error(version->Row(), std::string("Version has no ") + bound.first);
                usable = false;
            } else if (!IsFourNumericFields(bound.second)) {
                Error(version->Row(), std::string("Version ") + bound.first + " '" + bound.second +
                                          "' is not four numeric fields (major.minor.00.build)");
                usable = false;
            }
        }
        if (usable && CompareVersions(minimum, maximum) > 0) {
            Error(version->Row(), std::string("Version min ") + minimum + " is above max " +
                                      maximum + ": no installation is in range");
        }
    }

    void CheckMessages() {
        std::string minimum;
        std::string maximum;
        MessageTable messages;
        ReadConfigDocument(document_, minimum, maximum, messages);
        if (messages.empty()) {
            Error(document_.RootElement()->Row(),
                  "no message: every run ends in the failure report");
            return;
        }
        int line = MessagesLine();
        if (messages.count(message_key::kAskUser) == 0) {
            Error(line, "no \"askuser\" message: every run ends in the failure report");
        }
        for (const MessageKeyUse& use : kMessageKeyUses) {
            if (messages.count(use.key) == 0) {
                Warning(line, std::string("no \"") + use.key + "\" message: " + use.whenMissing);
            }
        }
        for (const char* key : kLogTextKeys) {
            auto found = messages.find(key);
            if (found != messages.end() && !LogTextIsSafe(found->second)) {
                Error(line, std::string("\"") + key + "\" holds a conversion other than one %s: '" +
                                found->second + "'");
            }
        }
    }

    int MessagesLine() const {
        for (const TiXmlNode* child = document_.RootElement()->FirstChild(); child != nullptr;
             child = child->NextSibling()) {
            if (ElementNamed(child, config_element::kMessages)) return child->ToElement()->Row();
        }
        return 0;
    }

    void CheckEntries() {
        std::string installBase;
        if (!MakePlanBase(options_.installDir, installBase)) {
            Error(0, "the installation folder given is too long");
            return;
        }
        std::set<std::string> packageFiles;
        for (const std::string& file : package_.files) packageFiles.insert(FoldName(file));
        std::set<std::string> sampleFolders;
        for (const std::string& folder : options_.sampleFolders)
            sampleFolders.insert(FoldName(folder));
        std::set<std::string> named;
        // The files every package holds besides those its File elements name.
        std::set<std::string> packageOwnFiles;
        for (const char* own :
             {kConfigFileName, kProgramFileName, kProgramDebugFileName, kManifestFileName})
            packageOwnFiles.insert(FoldName(own));

        for (const TiXmlElement* entry : ProductEntries(document_, std::string())) {
            if (entry->Attribute(config_attribute::kId) == nullptr) {
                Warning(entry->Row(), "a Product without id: it never applies");
            }
            std::vector<PlanStep> plan;
            PlanEntry(*entry, installBase, kNominalPackageFolder, plan, nullptr);
            std::map<std::string, int> targets;
            for (const PlanStep& step : plan) {
                std::string where = " (group " + step.group + " of Product '" + step.entryId + "')";
                switch (step.kind) {
                    case PlanStep::Kind::kFault:
                        Error(step.line, std::string(DescribePlanFault(step.fault)) +
                                             (step.value.empty() ? "" : " " + step.value) + where);
                        break;
                    case PlanStep::Kind::kPurgeFirmware:
                        break;
                    case PlanStep::Kind::kGroupFolder: {
                        std::string relative = step.folder.substr(installBase.size());
                        if (options_.haveSampleInstallation && !relative.empty() &&
                            sampleFolders.count(FoldName(relative)) == 0) {
                            Warning(step.line, "the sample installation has no folder " + relative +
                                                   ": the copy would stop there" + where);
                        }
                        break;
                    }
                    case PlanStep::Kind::kCopyFile: {
                        std::string source = FoldName(step.name);
                        named.insert(source);
                        if (packageFiles.count(source) == 0) {
                            Error(step.line, "the package has no file " + step.name + where);
                        }
                        auto inserted = targets.emplace(FoldName(step.target), step.line);
                        if (!inserted.second) {
                            Error(step.line, "two files of this entry land on " + step.target +
                                                 " (the other at line " +
                                                 std::to_string(inserted.first->second) + ")" +
                                                 where);
                        }
                        if (EqualIgnoringCase(step.group.c_str(), kFirmwareGroupName) &&
                            !IsFirmwareImageName(step.fileName)) {
                            Warning(
                                step.line,
                                "a Firmware group's file " + step.fileName +
                                    " is not a .bin image: the next run's purge won't remove it" +
                                    where);
                        }
                        break;
                    }
                }
            }
        }
        for (const std::string& file : package_.files) {
            std::string folded = FoldName(file);
            if (named.count(folded) != 0 || packageOwnFiles.count(folded) != 0) continue;
            Warning(0, "no File names the package's file " + file);
        }
        if (!options_.productId.empty()) {
            for (const TiXmlElement* entry : ProductEntries(document_, options_.productId)) {
                PlanEntry(*entry, installBase, kNominalPackageFolder, report_.plan, nullptr);
            }
        }
    }

    const PackageContents& package_;
    const CheckOptions& options_;
    TiXmlDocument document_;
    CheckReport report_;
};

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string DescribeStep(const PlanStep& step) {
    switch (step.kind) {
        case PlanStep::Kind::kPurgeFirmware:
            return "purge  " + step.folder + "*" + kFirmwareImageSuffix;
        case PlanStep::Kind::kGroupFolder:
            return "folder " + step.folder;
        case PlanStep::Kind::kCopyFile:
            return "copy   " + step.name + " -> " + step.target;
        case PlanStep::Kind::kFault:
            return "stop   line " + std::to_string(step.line) + ": " +
                   DescribePlanFault(step.fault) + (step.value.empty() ? "" : " " + step.value);
    }
    return "";
}

}  // namespace

int CheckReport::errors() const {
    int count = 0;
    for (const Finding& finding : findings) count += finding.severity == Finding::Severity::kError;
    return count;
}

int CheckReport::warnings() const { return static_cast<int>(findings.size()) - errors(); }

int CheckReport::exitStatus() const { return errors() > 0 ? 2 : (warnings() > 0 ? 1 : 0); }

CheckReport CheckPackage(const PackageContents& package, const CheckOptions& options) {
    return Checker(package, options).Run();
}

std::string FormatReportText(const CheckReport& report, const CheckOptions& options) {
    std::string out;
    for (const Finding& finding : report.findings) {
        out += kConfigFileName;
        if (finding.line > 0) out += ":" + std::to_string(finding.line);
        out += finding.severity == Finding::Severity::kError ? ": error: " : ": warning: ";
        out += finding.message + "\n";
    }
    if (!options.productId.empty()) {
        out += "dry run for product id " + options.productId + ":\n";
        bool stopped = false;
        for (const PlanStep& step : report.plan) {
            out += std::string(stopped ? "  (not reached) " : "  ") + DescribeStep(step) + "\n";
            if (step.kind == PlanStep::Kind::kFault && !stopped) {
                out += "  (the run stops here, rolls back and shows the failure report)\n";
                stopped = true;
            }
        }
        if (report.plan.empty()) out += "  (nothing applies)\n";
    }
    out += std::to_string(report.errors()) + " error(s), " + std::to_string(report.warnings()) +
           " warning(s)\n";
    return out;
}

std::string FormatReportJson(const CheckReport& report, const CheckOptions& options,
                             const std::string& packageFolder) {
    std::string out = "{\"package\":" + Json(packageFolder) +
                      ",\"installDir\":" + Json(options.installDir) +
                      ",\"errors\":" + std::to_string(report.errors()) +
                      ",\"warnings\":" + std::to_string(report.warnings()) + ",\"findings\":[";
    for (size_t i = 0; i < report.findings.size(); ++i) {
        const Finding& finding = report.findings[i];
        out += std::string(i ? "," : "") + "{\"severity\":" +
               (finding.severity == Finding::Severity::kError ? "\"error\"" : "\"warning\"") +
               ",\"line\":" + std::to_string(finding.line) +
               ",\"message\":" + Json(finding.message) + "}";
    }
    out += "]";
    if (!options.productId.empty()) {
        out += ",\"productId\":" + Json(options.productId) + ",\"plan\":[";
        for (size_t i = 0; i < report.plan.size(); ++i) {
            out += std::string(i ? "," : "") + Json(DescribeStep(report.plan[i]));
        }
        out += "]";
    }
    return out + "}\n";
}
