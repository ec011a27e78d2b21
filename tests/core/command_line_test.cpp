// The switches of unattended runs.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

constexpr RestartChoice kNone = RestartChoice::kNotGiven;

TEST(CommandLineTest, Switches) {
    struct Case {
        std::vector<std::string> arguments;
        UiLevel ui;
        bool usage;
        bool bad;
        const char* log;
        RestartChoice restart;
    } cases[] = {
        {{}, UiLevel::kFull, false, false, "", kNone},
        {{"/quiet"}, UiLevel::kQuiet, false, false, "", kNone},
        {{"-Q"}, UiLevel::kQuiet, false, false, "", kNone},
        {{"/QUIET"}, UiLevel::kQuiet, false, false, "", kNone},
        {{"/passive"}, UiLevel::kPassive, false, false, "", kNone},
        {{"/quiet", "-passive"}, UiLevel::kQuiet, false, false, "", kNone},
        {{"/passive", "/q"}, UiLevel::kQuiet, false, false, "", kNone},
        {{"/log:C:\\logs\\run.log"}, UiLevel::kFull, false, false, "C:\\logs\\run.log", kNone},
        {{"/LOG", "C:\\a b\\x.log", "/q"}, UiLevel::kQuiet, false, false, "C:\\a b\\x.log", kNone},
        {{"/?"}, UiLevel::kFull, true, false, "", kNone},
        {{"-help", "/q"}, UiLevel::kQuiet, true, false, "", kNone},
        {{"/log:"}, UiLevel::kFull, false, true, "", kNone},
        {{"/log"}, UiLevel::kFull, false, true, "", kNone},
        // A switch is never a value: the run stays quiet, and /log lacks its path.
        {{"/log", "/quiet"}, UiLevel::kQuiet, false, true, "", kNone},
        {{"/log", "-q", "C:\\x.log"}, UiLevel::kQuiet, false, true, "", kNone},
        {{"/quietly"}, UiLevel::kFull, false, true, "", kNone},
        {{"quiet"}, UiLevel::kFull, false, true, "", kNone},
        {{"/"}, UiLevel::kFull, false, true, "", kNone},
        {{""}, UiLevel::kFull, false, true, "", kNone},
        {{"/x", "/q"}, UiLevel::kQuiet, false, true, "", kNone},
        // The restart switches; the last one given counts.
        {{"/quiet", "/norestart"}, UiLevel::kQuiet, false, false, "", RestartChoice::kNoRestart},
        {{"-PromptRestart"}, UiLevel::kFull, false, false, "", RestartChoice::kPromptRestart},
        {{"/FORCERESTART", "/passive"},
         UiLevel::kPassive,
         false,
         false,
         "",
         RestartChoice::kForceRestart},
        {{"/norestart", "/forcerestart"},
         UiLevel::kFull,
         false,
         false,
         "",
         RestartChoice::kForceRestart},
        {{"/norestart:yes"}, UiLevel::kFull, false, true, "", kNone},
        // Windows Installer's spellings.
        {{"/qn"}, UiLevel::kQuiet, false, false, "", kNone},
        {{"-QN", "/norestart"}, UiLevel::kQuiet, false, false, "", RestartChoice::kNoRestart},
        {{"/qb"}, UiLevel::kPassive, false, false, "", kNone},
        {{"/qb-"}, UiLevel::kPassive, false, false, "", kNone},
        {{"/QB!"}, UiLevel::kPassive, false, false, "", kNone},
        {{"/qr"}, UiLevel::kPassive, false, false, "", kNone},
        {{"/qb", "/qn"}, UiLevel::kQuiet, false, false, "", kNone},
        {{"/quiet", "/l*v", "C:\\Logs\\Run.log"},
         UiLevel::kQuiet,
         false,
         false,
         "C:\\Logs\\Run.log",
         kNone},
        {{"/L*VX", "C:\\x.log"}, UiLevel::kFull, false, false, "C:\\x.log", kNone},
        {{"/lv", "C:\\x.log"}, UiLevel::kFull, false, false, "C:\\x.log", kNone},
        {{"-l", "C:\\x.log"}, UiLevel::kFull, false, false, "C:\\x.log", kNone},
        {{"/l*v", "/qn"}, UiLevel::kQuiet, false, true, "", kNone},
        // Other Windows Installer switches are refused.
        {{"/qf"}, UiLevel::kFull, false, true, "", kNone},
        {{"/qn+"}, UiLevel::kFull, false, true, "", kNone},
        {{"/qb+"}, UiLevel::kFull, false, true, "", kNone},
        {{"/q", "/l*", "C:\\x.log"}, UiLevel::kQuiet, false, true, "", kNone},
        {{"/liwe", "C:\\x.log"}, UiLevel::kFull, false, true, "", kNone},
        {{"/i", "orvexa.msi"}, UiLevel::kFull, false, true, "", kNone},
        {{"/qn", "REBOOT=ReallySuppress"}, UiLevel::kQuiet, false, true, "", kNone},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments) shown += "[" + a + "]";
        RunOptions options = ParseCommandLine(c.arguments);
        EXPECT_EQ(options.ui, c.ui) << shown;
        EXPECT_EQ(options.showUsage, c.usage) << shown;
        EXPECT_EQ(options.badCommandLine, c.bad) << shown;
        EXPECT_EQ(options.extraLogPath, c.log) << shown;
        EXPECT_EQ(options.restart, c.restart) << shown;
        EXPECT_EQ(options.anyArgument, !c.arguments.empty()) << shown;
    }
    EXPECT_EQ(ParseCommandLine({"/x", "/y"}).badArgument, "/x");
    EXPECT_EQ(ParseCommandLine({"/log", "/quiet"}).badArgument, "/log");
    EXPECT_EQ(ParseCommandLine({"/qn", "/qf", "/l*"}).badArgument, "/qf");
}

// The usage names every spelling that the parser takes.
TEST(CommandLineTest, UsageNamesEverySpelling) {
    std::string usage = UsageText();
    for (const char* spelling :
         {"/quiet",         "/q,",           "/qn",      "/passive",  "/qb,",
          "/qb-",           "/qb!",          "/qr",      "/log PATH", "/log:PATH",
          "/l*v PATH",      "/l*vx PATH",    "/lv PATH", "/l PATH",   "/norestart",
          "/promptrestart", "/forcerestart", "/?",       "/help",     "1639"}) {
        EXPECT_NE(usage.find(spelling), std::string::npos) << spelling << "\n" << usage;
    }
    EXPECT_EQ(usage.back(), '\n');
}

}  // namespace
