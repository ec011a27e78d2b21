#include "app/upgrade_app_win.h"

#include <string>
#include <vector>

#include "app/release_build.h"
#include "config/package_seal.h"
#include "config/seal_section.h"
#include "config/update_context.h"
#include "install/content_install_win.h"
#include "log/upgrade_log.h"
#include "platform/handles_win.h"
#include "platform/path_services_win.h"
#include "platform/window_services_win.h"
#include "product/installed_product.h"
#include "resource.h"
#include "platform/code_page.h"
#include "platform/system_error_win.h"
#include "platform/message_loop.h"
#include "platform/standard_error.h"

namespace {

constexpr char kFailureCaption[] = "Orvexa Upgrade";
constexpr char kNoLogText[] =
    "Orvexa upgrade failed.\nUnable to generate log file.\nSystem Error:%sPlease reinstall Orvexa "
    "application.";
constexpr char kSeeLogText[] =
    "Orvexa upgrade failed.\nThe operation failed to complete. Please refer to 'RIZezuvu.log' "
    "located in Orvexa directory for more information.";

constexpr char kNotUndoneNote[] =
    "The update could not be fully undone; run it again to finish restoring Orvexa.";

// The log lines of the restart switches. Nothing this program installs needs
// a restart, so no run restarts the computer whatever the switch says.
constexpr char kNoRestartLine[] = "Restart: /norestart given; the computer will not be restarted.";
constexpr char kPromptRestartLine[] =
    "Restart: /promptrestart given; the user would be asked before a restart.";
constexpr char kForceRestartLine[] =
    "Restart: /forcerestart given, but nothing needs a restart; the computer will not be "
    "restarted.";

constexpr char kUsageOutcome[] = "the usage was shown";
constexpr char kBadCommandLineOutcome[] = "the command line was not understood";

std::string NoLogText(const std::string& systemText) {
    std::string text = kNoLogText;
    text.replace(text.find("%s"), 2, systemText);
    return text;
}

// The lines of a text with "\n" line ends, the empty ones left out.
std::vector<std::string> NonEmptyLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Standard error gets Windows' line ends.
void WriteToStandardError(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    platform::WriteStandardError(out);
}

}  // namespace

COVUpgradeApp theApp;

COVUpgradeApp::COVUpgradeApp() : m_statusDlg(nullptr, Messages()) {}

COVUpgradeApp::~COVUpgradeApp() {
    UpgradeLog::Close();
    delete g_pUpdateContext;
    g_pUpdateContext = nullptr;
}

MessageLookup COVUpgradeApp::Messages() const {
    return [this](const char* key) {
        std::string text;
        if (g_pUpdateContext != nullptr) g_pUpdateContext->LookupMessage(key, text);
        return text;
    };
}

bool COVUpgradeApp::RunUpgrade() {
    g_pUpdateContext = new UpdateContext();
    CWinApp::InitInstance();
    EnableControlContainer();
    m_options = ParseCommandLine(CommandArguments());
    // The dialogs' controls; a quiet run shows none, and does without them.
    if (m_options.ui != UiLevel::kQuiet) platform::InitCommonControlsLibrary();
    if (m_options.badCommandLine || m_options.showUsage) return ShowUsage();
    // The copy of the log comes first, so that it records even a broken
    // configuration. One that can't be opened ends the run before anything
    // is read or changed, as Windows Installer ends a run whose log fails.
    if (!m_options.extraLogPath.empty() && !UpgradeLog::OpenCopy(m_options.extraLogPath.c_str())) {
        ReportFailureEndingWith(kExitLogFailure, "the /log file can't be opened");
        return false;
    }
    if (RefuseUnsealedRelease()) return false;
    // From a folder whose name the ANSI code page can't hold, nothing beside
    // the program can be found: the user is told why, and moves the package.
    if (!platform::ModulePathFitsAnsiCodePage()) {
        ReportFailure();
        return false;
    }
    if (!g_pUpdateContext->LoadConfig()) {
        ReportFailure();
        return false;
    }
    return RunSequence();
}

// An unattended run must never wait for a click: with /quiet or /passive
// the usage goes only to the /log file and to standard error.
bool COVUpgradeApp::ShowUsage() {
    std::string text = UsageText();
    unsigned icon = MB_ICONINFORMATION;
    if (m_options.badCommandLine) {
        text = "Unknown argument: " + m_options.badArgument + "\n\n" + text;
        icon = MB_ICONERROR;
    }
    int exitCode = m_options.badCommandLine ? kExitBadCommandLine : kExitUpdated;
    m_exitCode = exitCode;
    if (!m_options.extraLogPath.empty() && !LogCopyIsAFileOfTheUpdate() &&
        UpgradeLog::OpenCopy(m_options.extraLogPath.c_str())) {
        for (const std::string& line : NonEmptyLines(text)) UpgradeLog::Write("%s", line.c_str());
        EndWith(exitCode, m_options.badCommandLine ? kBadCommandLineOutcome : kUsageOutcome);
    }
    WriteToStandardError(text);
    if (!AsksUser()) return false;
    platform::ShowMessageBox(nullptr, text.c_str(), kFailureCaption, icon | MB_OK);
    return false;
}

// The command line stops the run before the installation is looked at; it
// is looked at here only so that a /log file that is the installation's log
// or a file the update writes stays untouched, as on a good command line.
bool COVUpgradeApp::LogCopyIsAFileOfTheUpdate() {
    if (!WindowsInstallerAvailable()) return false;
    // A configuration that does not load still leaves the installation's own
    // log to compare with.
    g_pUpdateContext->LoadConfig();
    InstalledProduct product;
    std::string location;
    if (!product.found || !product.GetInstallLocation(location)) return false;
    return UpdateWrites(MakeUpdatePlan(*g_pUpdateContext, product, location),
                        m_options.extraLogPath);
}

bool COVUpgradeApp::RefuseLogOverTheUpdate(const UpdatePlan& plan) {
    const std::string& path = m_options.extraLogPath;
    if (path.empty() || !UpdateWrites(plan, path)) return false;
    // Nothing is written, and a copy this run made is removed again.
    UpgradeLog::DiscardCopy();
    m_exitCode = kExitBadCommandLine;
    std::string text =
        "The /log file is one that the update writes: " + path + "\n\n" + UsageText();
    WriteToStandardError(text);
    if (!AsksUser()) return true;
    platform::ShowMessageBox(nullptr, text.c_str(), kFailureCaption, MB_ICONERROR | MB_OK);
    return true;
}

void COVUpgradeApp::LogRestartSwitch() const {
    switch (m_options.restart) {
        case RestartChoice::kNotGiven:
            break;
        case RestartChoice::kNoRestart:
            UpgradeLog::Write("%s", kNoRestartLine);
            break;
        case RestartChoice::kPromptRestart:
            UpgradeLog::Write("%s", kPromptRestartLine);
            break;
        case RestartChoice::kForceRestart:
            UpgradeLog::Write("%s", kForceRestartLine);
            break;
    }
}

// Writing the line keeps the last-error code (UpgradeLog::Write does).
void COVUpgradeApp::EndWith(int exitCode, const char* outcome) {
    m_exitCode = exitCode;
    if (m_options.anyArgument) UpgradeLog::Write("Outcome: %s (exit code %d)", outcome, exitCode);
}

// A signed release beside a configuration of someone else's would install
// it with the vendor named on the elevation prompt: a release build runs
// only the package it was sealed for. Checked before anything of the
// package is read; a seal that is there but damaged is refused by
// LoadConfig, with the configuration.
bool COVUpgradeApp::RefuseUnsealedRelease() {
    if (!kReleaseBuild) return false;
    PackageSeal seal;
    if (ProgramSeal(seal) != SealState::kUnsealed) return false;
    UpgradeLog::Write("%s", kSealRequiredLine);
    platform::SetLastErrorCode(ERROR_INVALID_DATA);
    ReportFailure();
    return true;
}

void COVUpgradeApp::ReportFailure(bool updateNotUndone) {
    ReportFailureEndingWith(kExitFailed, "the update failed", updateNotUndone);
}

void COVUpgradeApp::ReportFailureEndingWith(int exitCode, const char* outcome,
                                            bool updateNotUndone) {
    DWORD code = ::GetLastError();
    std::string systemText;
    if (!platform::SystemErrorText(code, systemText)) {
        EndWith(exitCode, outcome);
        return;
    }
    std::string text = kSeeLogText;
    // The box may send the user to the log only when the line reached it.
    if (code != 0 && UpgradeLog::Write("System Error: %s%s\n", systemText.c_str(),
                                       updateNotUndone ? kNotUndoneNote : "") == 0) {
        text = NoLogText(systemText);
    }
    EndWith(exitCode, outcome);
    if (!AsksUser()) return;
    platform::ShowMessageBox(nullptr, text.c_str(), kFailureCaption, MB_ICONERROR | MB_OK);
}

void COVUpgradeApp::ShowStatus(bool show) {
    if (!show) {
        HideStatusIfShown();
        return;
    }
    if (!m_statusDlg.Create(IDD_STATUS, nullptr)) return;
    m_statusDlg.ShowWindow(SW_SHOW);
    m_statusDlg.InvalidateRect(TRUE);
    m_statusDlg.UpdateWindow();
    platform::PauseServingMessages(1000);
}

// Keeps the last-error code of whatever failed before the window went, so a
// failure report right after still names the real cause.
void COVUpgradeApp::HideStatusIfShown() {
    if (m_statusDlg.GetSafeHwnd() == nullptr) return;
    platform::LastErrorKeeper keepFailureCode;
    m_statusDlg.ShowWindow(SW_HIDE);
    m_statusDlg.DestroyWindow();
}
