// The switches a deployment system passes: how much the run may show, where
// to copy the log, what it may do about a restart, and the exit codes it
// reports. Pure logic.
#pragma once

#include <string>
#include <vector>

// The exit codes of Windows Installer, which deployment systems already map.
enum ExitCode : int {
    kExitUpdated = 0,
    kExitUserDeclined = 1602,     // ERROR_INSTALL_USEREXIT
    kExitFailed = 1603,           // ERROR_INSTALL_FAILURE
    kExitNotInstalled = 1605,     // ERROR_UNKNOWN_PRODUCT
    kExitProductRunning = 1618,   // ERROR_INSTALL_ALREADY_RUNNING: deployment systems retry it
    kExitAnotherRun = 1618,       // the same code: another run is updating this installation
    kExitLogFailure = 1622,       // ERROR_INSTALL_LOG_FAILURE: the /log file can't be opened
    kExitBadCommandLine = 1639,   // ERROR_INVALID_COMMAND_LINE
    kExitVersionMismatch = 1642,  // ERROR_PATCH_TARGET_NOT_FOUND
};

enum class UiLevel {
    kFull,     // every box and dialog, as without arguments
    kPassive,  // the status window only; no questions, no result boxes
    kQuiet,    // no window at all
};

// What the run may do when an update needs the computer restarted. No update
// needs one yet: the program never restarts the computer, and only logs the
// switch it was given.
enum class RestartChoice {
    kNotGiven,
    kNoRestart,      // /norestart
    kPromptRestart,  // /promptrestart
    kForceRestart,   // /forcerestart
};

struct RunOptions {
    UiLevel ui = UiLevel::kFull;
    RestartChoice restart = RestartChoice::kNotGiven;
    bool showUsage = false;  // /? or /help
    bool badCommandLine = false;
    std::string badArgument;   // the first argument not understood
    std::string extraLogPath;  // /log:PATH, empty when not given
    bool anyArgument = false;
};

// Reads the arguments after the program's name. Switches start with "/" or
// "-" and are matched without regard to case, under the program's own names
// and the Windows Installer spellings that mean the same (see the table in
// command_line.cpp): /quiet, /passive, /log:PATH (or /log PATH), the restart
// switches (the last one given counts), /? and /help. /quiet wins over
// /passive whatever their order. Anything else sets badCommandLine.
RunOptions ParseCommandLine(const std::vector<std::string>& arguments);

// The program's command-line arguments after its own name, as the C runtime
// splits them (quotes group, backslashes before a quote escape it). Defined
// in command_line_win.cpp, beside the pure parsing here.
std::vector<std::string> CommandArguments();

// The usage text: every switch under each of its spellings, and the exit
// codes. Lines end with "\n".
std::string UsageText();
