// The switches of unattended runs.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

TEST(CommandLineTest, Switches) {
    struct Case {
        std::vector<std::string> arguments;
        UiLevel ui;
        bool usage;
        bool bad;
        const char* log;
    } cases[] = {
        {{}, UiLevel::kFull, false, false, ""},
        {{"/quiet"}, UiLevel::kQuiet, false, false, ""},
        {{"-Q"}, UiLevel::kQuiet, false, false, ""},
        {{"/QUIET"}, UiLevel::kQuiet, false, false, ""},
        {{"/passive"}, UiLevel::kPassive, false, false, ""},
        {{"/quiet", "-passive"}, UiLevel::kQuiet, false, false, ""},
        {{"/passive", "/q"}, UiLevel::kQuiet, false, false, ""},
        {{"/log:C:\\logs\\run.log"}, UiLevel::kFull, false, false, "C:\\logs\\run.log"},
        {{"/LOG", "C:\\a b\\x.log", "/q"}, UiLevel::kQuiet, false, false, "C:\\a b\\x.log"},
        {{"/?"}, UiLevel::kFull, true, false, ""},
        {{"-help", "/q"}, UiLevel::kQuiet, true, false, ""},
        {{"/log:"}, UiLevel::kFull, false, true, ""},
        {{"/log"}, UiLevel::kFull, false, true, ""},
        // A switch is never a value: the run stays quiet, and /log lacks its path.
        {{"/log", "/quiet"}, UiLevel::kQuiet, false, true, ""},
        {{"/log", "-q", "C:\\x.log"}, UiLevel::kQuiet, false, true, ""},
        {{"/quietly"}, UiLevel::kFull, false, true, ""},
        {{"quiet"}, UiLevel::kFull, false, true, ""},
        {{"/"}, UiLevel::kFull, false, true, ""},
        {{""}, UiLevel::kFull, false, true, ""},
        {{"/x", "/q"}, UiLevel::kQuiet, false, true, ""},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.arguments) shown += "[" + a + "]";
        RunOptions options = ParseCommandLine(c.arguments);
        EXPECT_EQ(options.ui, c.ui) << shown;
        EXPECT_EQ(options.showUsage, c.usage) << shown;
        EXPECT_EQ(options.badCommandLine, c.bad) << shown;
        EXPECT_EQ(options.extraLogPath, c.log) << shown;
        EXPECT_EQ(options.anyArgument, !c.arguments.empty()) << shown;
    }
    EXPECT_EQ(ParseCommandLine({"/x", "/y"}).badArgument, "/x");
    EXPECT_EQ(ParseCommandLine({"/log", "/quiet"}).badArgument, "/log");
}

}  // namespace
