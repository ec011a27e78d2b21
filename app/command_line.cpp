#include "app/command_line.h"

#include <cctype>

const char kUsageText[] =
    "RIZezuvu updates the installed Orvexa media player.\n"
    "\n"
    "RIZezuvu.exe [/quiet | /passive] [/log:PATH]\n"
    "\n"
    "  /quiet, /q   No window at all; consent is taken as given.\n"
    "  /passive     Only the progress window; no questions, no result box.\n"
    "  /log:PATH    Also append every log line to PATH.\n"
    "  /?, /help    This text.\n"
    "\n"
    "Exit codes: 0 updated, 1602 declined, 1603 failed, 1605 Orvexa not installed,\n"
    "1618 Orvexa running (retry later), 1622 the /log file can't be opened,\n"
    "1639 bad command line, 1642 version not covered by this update.";

const char kToolVersion[] = "1.6.0.0";

namespace {

std::string Lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsSwitch(const std::string& argument) {
    return !argument.empty() && (argument[0] == '/' || argument[0] == '-');
}

}  // namespace

RunOptions ParseCommandLine(const std::vector<std::string>& arguments) {
    RunOptions options;
    options.anyArgument = !arguments.empty();
    auto bad = [&options](const std::string& argument) {
        if (!options.badCommandLine) options.badArgument = argument;
        options.badCommandLine = true;
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) {
            bad(argument);
            continue;
        }
        std::string name = Lower(argument.substr(1));
        if (name == "quiet" || name == "q") {
            options.ui = UiLevel::kQuiet;
        } else if (name == "passive") {
            if (options.ui != UiLevel::kQuiet) options.ui = UiLevel::kPassive;
        } else if (name == "?" || name == "help") {
            options.showUsage = true;
        } else if (name.compare(0, 4, "log:") == 0 && name.size() > 4) {
            options.extraLogPath = argument.substr(5);
        } else if (name == "log" && i + 1 < arguments.size() && !IsSwitch(arguments[i + 1])) {
            // A switch is never a value: "/log /quiet" is /log without its path.
            options.extraLogPath = arguments[++i];
        } else {
            bad(argument);
        }
    }
    return options;
}
