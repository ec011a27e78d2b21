#include "app/command_line.h"

#include "platform/text_rules.h"

namespace {

enum class Effect { kQuiet, kPassive, kLog, kNoRestart, kPromptRestart, kForceRestart, kUsage };

struct Switch {
    const char* name;  // after the "/" or "-", in lower case
    Effect effect;
    // The usage line, on the program's own spelling of the effect; null on
    // the other spellings, which the usage lists after it.
    const char* help;
};

// Every switch, under every spelling it is taken in. The program's own name
// comes first in each group; the others are Windows Installer's (msiexec's)
// spellings of the same thing, which administrators type by habit. The log is
// always verbose, so each of msiexec's verbose log switches is /log; its
// other log modes, user-interface levels and switches are not taken.
constexpr Switch kSwitches[] = {
    {"quiet", Effect::kQuiet, "No window at all; consent is taken as given."},
    {"q", Effect::kQuiet, nullptr},
    {"qn", Effect::kQuiet, nullptr},
    {"passive", Effect::kPassive, "Only the progress window; no questions, no result box."},
    {"qb", Effect::kPassive, nullptr},
    {"qb-", Effect::kPassive, nullptr},
    {"qb!", Effect::kPassive, nullptr},
    {"qr", Effect::kPassive, nullptr},
    {"log", Effect::kLog, "Also append every log line to PATH."},
    {"l*v", Effect::kLog, nullptr},
    {"l*vx", Effect::kLog, nullptr},
    {"lv", Effect::kLog, nullptr},
    {"l", Effect::kLog, nullptr},
    {"norestart", Effect::kNoRestart, "Never restart the computer."},
    {"promptrestart", Effect::kPromptRestart, "Ask before restarting the computer."},
    {"forcerestart", Effect::kForceRestart, "Restart the computer when the update needs it."},
    {"?", Effect::kUsage, "This text."},
    {"help", Effect::kUsage, nullptr},
};

const Switch* FindSwitch(const std::string& name) {
    for (const Switch& candidate : kSwitches) {
        if (SameIgnoringCase(name, candidate.name)) return &candidate;
    }
    return nullptr;
}

bool IsSwitch(const std::string& argument) {
    return !argument.empty() && (argument[0] == '/' || argument[0] == '-');
}

void Apply(Effect effect, RunOptions& options) {
    switch (effect) {
        case Effect::kQuiet:
            options.ui = UiLevel::kQuiet;
            break;
        case Effect::kPassive:
            if (options.ui != UiLevel::kQuiet) options.ui = UiLevel::kPassive;
            break;
        case Effect::kNoRestart:
            options.restart = RestartChoice::kNoRestart;
            break;
        case Effect::kPromptRestart:
            options.restart = RestartChoice::kPromptRestart;
            break;
        case Effect::kForceRestart:
            options.restart = RestartChoice::kForceRestart;
            break;
        case Effect::kUsage:
            options.showUsage = true;
            break;
        case Effect::kLog:  // takes its path: the caller's
            break;
    }
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
        if (argument.size() < 2 || !IsSwitch(argument)) {
            bad(argument);
            continue;
        }
        // "/log:PATH": the name ends at the first colon, the path keeps its case.
        size_t colon = argument.find(':');
        const Switch* found = FindSwitch(argument.substr(1, colon - 1));
        if (found == nullptr) {
            bad(argument);
        } else if (colon != std::string::npos) {
            if (found->effect == Effect::kLog && colon + 1 < argument.size()) {
                options.extraLogPath = argument.substr(colon + 1);
            } else {
                bad(argument);
            }
        } else if (found->effect != Effect::kLog) {
            Apply(found->effect, options);
        } else if (i + 1 < arguments.size() && !IsSwitch(arguments[i + 1])) {
            // A switch is never a value: "/log /quiet" is /log without its path.
            options.extraLogPath = arguments[++i];
        } else {
            bad(argument);
        }
    }
    return options;
}

std::string UsageText() {
    std::string text =
        "RIZezuvu updates the installed Orvexa media player.\n"
        "\n"
        "RIZezuvu.exe [switches]\n"
        "\n";
    for (const Switch& own : kSwitches) {
        if (own.help == nullptr) continue;
        bool takesPath = own.effect == Effect::kLog;
        const char* value = takesPath ? " PATH" : "";
        std::string others = takesPath ? std::string("/") + own.name + ":PATH" : "";
        for (const Switch& other : kSwitches) {
            if (other.effect != own.effect || &other == &own) continue;
            others += std::string(others.empty() ? "" : ", ") + "/" + other.name + value;
        }
        text += std::string("  /") + own.name + value;
        if (!others.empty()) text += " (or " + others + ")";
        text += std::string("   ") + own.help + "\n";
    }
    text +=
        "\n"
        "The program never restarts the computer: no update needs it yet.\n"
        "\n"
        "Exit codes: 0 updated, 1602 declined, 1603 failed, 1605 Orvexa not installed,\n"
        "1618 Orvexa running (retry later), 1622 the /log file can't be opened,\n"
        "1639 bad command line, 1642 version not covered by this update.\n";
    return text;
}
