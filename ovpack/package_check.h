// The package checker's logic: every problem that a package would cause on a
// user's machine, found from its OVConfig.xml and the list of its files,
// with the same configuration code, the same walk and the same path rules as
// the program (config/, install/install_plan.h). No file system here: the
// caller lists the folders.
#pragma once

#include <string>
#include <vector>

#include "install/install_plan.h"

struct Finding {
    enum class Severity { kError, kWarning };
    Severity severity;
    int line;  // in OVConfig.xml; 0 when the finding is about the whole file
    std::string message;
};

struct PackageContents {
    bool configFound = false;
    std::string configText;
    // The package's files, relative to its folder, with backslashes.
    std::vector<std::string> files;
};

struct CheckOptions {
    // The installation folder as Windows records it, for the path lengths.
    std::string installDir = "C:\\Program Files (x86)\\Orvexa\\";
    // The folders of a sample installation (relative, backslashes), when one
    // was given: a group folder missing there is reported.
    bool haveSampleInstallation = false;
    std::vector<std::string> sampleFolders;
    // With an id: the steps an installation with that id would get.
    std::string productId;
    // The ANSI code page of the systems the package is for, and the package
    // files whose names it can't hold (the caller, which knows the
    // conversions, finds them): the program can't open such a file there.
    int codePage = 1252;
    std::vector<std::string> namesOutsideCodePage;
};

struct CheckReport {
    std::vector<Finding> findings;
    std::vector<PlanStep> plan;  // the dry run, when a product id was given
    int errors() const;
    int warnings() const;
    // 0 clean, 1 warnings only, 2 errors.
    int exitStatus() const;
};

// The package folder as the plan's source base: where a user unpacks it is
// not known, so a short folder stands for it.
constexpr char kNominalPackageFolder[] = "C:\\Package\\";

CheckReport CheckPackage(const PackageContents& package, const CheckOptions& options);

// The report as text lines ("OVConfig.xml:12: error: ...") and as one JSON object.
std::string FormatReportText(const CheckReport& report, const CheckOptions& options);
std::string FormatReportJson(const CheckReport& report, const CheckOptions& options,
                             const std::string& packageFolder);
