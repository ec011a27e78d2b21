// The package checker over small packages with one fault each.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ovpack/package_check.h"
#include "ovpack/sample_package.h"
#include "platform/path_rules.h"

namespace {

PackageContents SamplePackage() {
    PackageContents package;
    for (const SampleFile& file : SamplePackageFiles()) {
        std::string path = WithBackslashes(file.path);
        if (path == "OVConfig.xml") {
            package.configFound = true;
            package.configText = file.bytes;
        }
        package.files.push_back(path);
    }
    return package;
}

std::string Nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    return text;
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

TEST(PackageCheckTest, TheSamplePackageIsClean) {
    CheckOptions options;
    CheckReport report = CheckPackage(SamplePackage(), options);
    EXPECT_EQ(report.exitStatus(), 0) << FormatReportText(report, options);
    EXPECT_TRUE(report.findings.empty());
}

TEST(PackageCheckTest, EachFaultIsFoundWithItsLine) {
    struct Case {
        const char* name;
        std::function<void(PackageContents&, CheckOptions&)> change;
        Finding::Severity severity;
        int line;  // 0: any
        const char* message;
    } cases[] = {
        {"no OVConfig.xml", [](PackageContents& p, CheckOptions&) { p.configFound = false; },
         Finding::Severity::kError, 0, "OVConfig.xml is missing"},
        {"not well-formed",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "</Messages>", "</Message>");
         },
         Finding::Severity::kError, 25, "not well-formed XML"},
        {"no root",
         [](PackageContents& p, CheckOptions&) {
             p.configText = "<?xml version='1.0'?>\r\n<!-- c -->\r\n";
         },
         Finding::Severity::kError, 0, "no root element"},
        {"no Version",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "<Version min='1.6.00.1' max='1.6.00.999'/>", "");
         },
         Finding::Severity::kError, 4, "no Version element"},
        {"nested too deep",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "</OVConfig>", Nested(65) + "</OVConfig>");
         },
         Finding::Severity::kError, 46, "nested deeper than 64"},
        {"min missing",
         [](PackageContents& p, CheckOptions&) { Replace(p.configText, "min='1.6.00.1' ", ""); },
         Finding::Severity::kError, 7, "Version has no min"},
        {"max not four fields",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "max='1.6.00.999'", "max='1.6'");
         },
         Finding::Severity::kError, 7, "Version max '1.6' is not four numeric fields"},
        {"min above max",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "min='1.6.00.1'", "min='1.7.00.1'");
         },
         Finding::Severity::kError, 7, "is above max"},
        {"no messages",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "<Message title", "<Note title");
         },
         Finding::Severity::kError, 0, "no message"},
        {"askuser missing",
         [](PackageContents& p, CheckOptions&) { Replace(p.configText, "askuser=", "askusr="); },
         Finding::Severity::kError, 8, "no \"askuser\" message"},
        {"a stray conversion",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "Updated file %s", "Updated %d file %s");
         },
         Finding::Severity::kError, 8, "\"updatefile\" holds a conversion other than one %s"},
        {"two %s",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "Update tool %s started.", "%s %s");
         },
         Finding::Severity::kError, 8, "\"updatestart\""},
        {"group without dir",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "<Group dir='Skins'>", "<Group>");
         },
         Finding::Severity::kError, 31, "no dir attribute (group Group of Product '000000')"},
        {"File without name",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "<File name='codecs.dat'/>", "<File/>");
         },
         Finding::Severity::kError, 35, "File without a name"},
        {"source missing", [](PackageContents& p, CheckOptions&) { p.files.pop_back(); },
         Finding::Severity::kError, 42, "the package has no file Firmware\\123456\\update.bin"},
        {"dir outside",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "dir='Skins'", "dir='..\\..\\Windows'");
         },
         Finding::Severity::kError, 31, "dir leaves the installation folder: ..\\..\\Windows"},
        {"dir in the journal's folder",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "dir='Skins'", "dir='.RIZezuvu-journal\\0'");
         },
         Finding::Severity::kError, 31,
         "target inside the update journal's folder: .RIZezuvu-journal\\0"},
        {"name outside",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "name='codecs.dat'", "name='C:\\Windows\\win.ini'");
         },
         Finding::Severity::kError, 35, "name leaves the package folder"},
        {"path too long",
         [](PackageContents& p, CheckOptions& o) {
             o.installDir = "C:\\" + std::string(240, 'x') + "\\";
             (void)p;
         },
         Finding::Severity::kError, 32, "longer than 259 characters"},
        {"same target twice",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "<File name='codecs.dat'/>",
                     "<File name='codecs.dat'/><File name='CODECS.DAT'/>");
         },
         Finding::Severity::kError, 35, "two files of this entry land on"},
        {"status missing",
         [](PackageContents& p, CheckOptions&) { Replace(p.configText, "status=", "statu="); },
         Finding::Severity::kWarning, 8,
         "no \"status\" message: the status window shows an empty line"},
        {"Product without id",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "<Product id='123456'>", "<Product>");
         },
         Finding::Severity::kWarning, 40, "a Product without id"},
        {"Firmware file not an image",
         [](PackageContents& p, CheckOptions&) {
             Replace(p.configText, "<File name='Firmware\\123456\\update.bin'/>",
                     "<File name='codecs.dat'/>");
         },
         Finding::Severity::kWarning, 42, "is not a .bin image"},
        {"a file no File names",
         [](PackageContents& p, CheckOptions&) { p.files.push_back("Extra\\notes.txt"); },
         Finding::Severity::kWarning, 0, "no File names the package's file Extra\\notes.txt"},
        {"sample installation lacks Skins",
         [](PackageContents&, CheckOptions& o) { o.haveSampleInstallation = true; },
         Finding::Severity::kWarning, 31, "the sample installation has no folder Skins"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PackageContents package = SamplePackage();
        CheckOptions options;
        c.change(package, options);
        CheckReport report = CheckPackage(package, options);
        std::string text = FormatReportText(report, options);
        bool found = false;
        for (const Finding& finding : report.findings) {
            found = found ||
                    (finding.severity == c.severity && (c.line == 0 || finding.line == c.line) &&
                     finding.message.find(c.message) != std::string::npos);
        }
        EXPECT_TRUE(found) << text;
        EXPECT_EQ(report.exitStatus(), c.severity == Finding::Severity::kError ? 2 : 1) << text;
    }
}

TEST(PackageCheckTest, ReportsEveryProblemAndTheDryRun) {
    PackageContents package = SamplePackage();
    Replace(package.configText, "<Group dir='Skins'>", "<Group>");
    Replace(package.configText, "<File name='codecs.dat'/>", "<File/>");
    package.files.push_back("stray.dat");
    CheckOptions options;
    options.productId = "123456";
    CheckReport report = CheckPackage(package, options);
    EXPECT_EQ(report.errors(), 2);
    EXPECT_EQ(report.warnings(), 3);  // stray.dat, and the two files no File names any more
    // The checker goes on past each fault: the plan shows where the program would stop.
    ASSERT_EQ(report.plan.size(), 6u);
    EXPECT_EQ(report.plan[0].kind, PlanStep::Kind::kFault);
    EXPECT_EQ(report.plan[1].kind, PlanStep::Kind::kGroupFolder);
    EXPECT_EQ(report.plan[2].fault, PlanFault::kFileWithoutName);
    EXPECT_EQ(report.plan[3].kind, PlanStep::Kind::kPurgeFirmware);
    EXPECT_EQ(report.plan[5].target, "C:\\Program Files (x86)\\Orvexa\\update.bin");
    std::string json = FormatReportJson(report, options, "pkg");
    EXPECT_EQ(json.find("{\"package\":\"pkg\",\"installDir\":\"C:\\\\Program Files "
                        "(x86)\\\\Orvexa\\\\\",\"errors\":2,\"warnings\":3,"),
              0u)
        << json;
    EXPECT_NE(json.find("\"plan\":[\"stop   line 31: no dir attribute\""), std::string::npos)
        << json;
}

}  // namespace
