// uidriver: starts a program, watches its top-level windows and drives them
// from a short script, printing a transcript of one JSON object a line.
//
//   uidriver [--cwd DIR] [--args TEXT] [--timeout SECONDS] [--script FILE] EXE [STEP ...]
//
// --args passes TEXT to the program as its command-line arguments.
//
// Steps (from the command line after EXE, or one a line in the script file):
//   wait            take the next window that appeared (waiting for one)
//   press:CAPTION   click the button of the current window with that caption
//   press#ID        click the button of the current window with that id
//   enter | escape  send the key to the focused control of the current window
//   close           close the current window through its system menu
//   gone            wait until the current window no longer exists or is hidden
//   quiet:MS        wait MS milliseconds; fail when a new window appears
//   sleep:MS        wait MS milliseconds
//   exit            wait for the program to end and report its exit code
//   copy:FROM|TO    copy the file FROM over the file TO (a change made while
//                   the program waits at the current window)
//   ping:ID         until the current window goes: send it WM_NULL every
//                   50 ms, timing each answer around the call, and read the
//                   position of its progress bar (control ID) each time;
//                   reports the count, the longest answer and the positions
// Every window that becomes visible is reported as soon as it is seen.
// A run that outlasts the timeout is ended: the child is killed and the last
// line is {"event":"timeout",...}. Exit status: 0 all steps done, 2 a step
// failed, 3 timeout, 4 the program could not be started.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 20;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string out(size, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                          nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), &out[0], size);
    return out;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string HandleText(HWND window) {
    char text[32];
    std::snprintf(text, sizeof text, "\"0x%llx\"",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    return text;
}

std::wstring WindowText(HWND window) {
    // For windows of another process the system answers from its own copy of
    // the text, without a message to the (possibly busy) owner thread.
    wchar_t text[4096];
    int length = ::GetWindowTextW(window, text, 4096);
    return std::wstring(text, length > 0 ? length : 0);
}

std::wstring ClassName(HWND window) {
    wchar_t name[256];
    int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

std::wstring WithoutAccelerator(const std::wstring& caption) {
    std::wstring out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

void Emit(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

class Driver {
public:
    bool Start(const std::string& exe, const std::string& arguments, const std::string& cwd) {
        std::wstring commandLine = L"\"" + Wide(exe) + L"\"";
        if (!arguments.empty()) commandLine += L" " + Wide(arguments);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring workingFolder = Wide(cwd);
        // Under Wine, ERROR_INTERNAL_ERROR means that the new process ended
        // inside Wine's loader, before any code of the program ran; on a
        // loaded machine that happens once in a long while. Such a start is
        // tried again (at most twice, each retry in the transcript); a
        // program that can never start still fails.
        for (int attempt = 1;; ++attempt) {
            if (::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 cwd.empty() ? nullptr : workingFolder.c_str(), &startup,
                                 &process_))
                break;
            DWORD code = ::GetLastError();
            if (code == ERROR_INTERNAL_ERROR && attempt < 3) {
                Emit("{\"event\":\"start-retried\",\"code\":" + std::to_string(code) + "}");
                continue;
            }
            Emit("{\"event\":\"error\",\"message\":\"cannot start\",\"code\":" +
                 std::to_string(code) + ",\"exe\":" + Json(exe) + "}");
            return false;
        }
        started_ = ::GetTickCount();
        Emit("{\"event\":\"started\",\"pid\":" + std::to_string(process_.dwProcessId) + "}");
        return true;
    }

    void Kill() {
        if (process_.hProcess != nullptr &&
            ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.hProcess, 255);
            ::WaitForSingleObject(process_.hProcess, 5000);
        }
    }

    ~Driver() {
        if (process_.hProcess != nullptr) ::CloseHandle(process_.hProcess);
        if (process_.hThread != nullptr) ::CloseHandle(process_.hThread);
    }

    void SetDeadline(DWORD milliseconds) { deadline_ = ::GetTickCount() + milliseconds; }

    // 0 done, 2 failed, 3 timed out.
    int Run(const std::string& step) {
        if (step == "wait") return WaitWindow();
        if (step.rfind("press:", 0) == 0) return PressByCaption(Wide(step.substr(6)));
        if (step.rfind("press#", 0) == 0) return PressById(std::atoi(step.c_str() + 6));
        if (step == "enter") return SendKey(VK_RETURN);
        if (step == "escape") return SendKey(VK_ESCAPE);
        if (step == "close") return CloseCurrent();
        if (step == "gone") return WaitGone();
        if (step.rfind("quiet:", 0) == 0) return Quiet(std::atoi(step.c_str() + 6));
        if (step.rfind("sleep:", 0) == 0) return Sleep(std::atoi(step.c_str() + 6));
        if (step == "exit") return WaitExit();
        if (step.rfind("ping:", 0) == 0) return Ping(std::atoi(step.c_str() + 5));
        if (step.rfind("copy:", 0) == 0) return CopyOver(step.substr(5));
        return Fail("unknown step " + step);
    }

    int TimedOut(const std::string& step) {
        Emit("{\"event\":\"timeout\",\"step\":" + Json(step) +
             ",\"t\":" + std::to_string(Elapsed()) +
             ",\"message\":\"the run took too long; the program was killed\"}");
        Kill();
        return 3;
    }

private:
    DWORD Elapsed() const { return ::GetTickCount() - started_; }
    bool Expired() const { return static_cast<LONG>(::GetTickCount() - deadline_) >= 0; }

    int CopyOver(const std::string& fromAndTo) {
        size_t bar = fromAndTo.find('|');
        if (bar == std::string::npos) return Fail("copy needs FROM|TO");
        std::wstring from = Wide(fromAndTo.substr(0, bar));
        std::wstring to = Wide(fromAndTo.substr(bar + 1));
        if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            return Fail("copy failed with " + std::to_string(::GetLastError()));
        }
        Emit("{\"event\":\"copied\",\"to\":" + Json(Utf8(to)) + "}");
        return 0;
    }

    int Fail(const std::string& message) {
        Emit("{\"event\":\"error\",\"message\":" + Json(message) + "}");
        return 2;
    }

    static BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
        auto* self = reinterpret_cast<Driver*>(param);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        if (pid == self->process_.dwProcessId && ::IsWindowVisible(window) &&
            self->reported_.insert(window).second) {
            self->fresh_.push_back(window);
        }
        return TRUE;
    }

    // Reports every window of the program that became visible since the last look.
    void Poll() {
        size_t known = fresh_.size();
        ::EnumWindows(&Driver::CollectTopLevel, reinterpret_cast<LPARAM>(this));
        for (size_t i = known; i < fresh_.size(); ++i) {
            appeared_[fresh_[i]] = Elapsed();
            // A dialog becomes visible while its initialisation still runs;
            // a round trip through its thread lets that finish first. A busy
            // thread (a window shown without a message loop) is not waited for long.
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutW(fresh_[i], WM_NULL, 0, 0, SMTO_NORMAL, 300, &ignored);
            Emit(Describe(fresh_[i]));
        }
        // Windows that disappear before they are visible are forgotten so a
        // new window with a reused handle is still reported.
        for (auto it = reported_.begin(); it != reported_.end();) {
            if (!::IsWindow(*it)) {
                it = reported_.erase(it);
            } else {
                ++it;
            }
        }
    }

    static BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        return TRUE;
    }

    std::string Describe(HWND window) {
        std::vector<HWND> children;
        ::EnumChildWindows(window, &Driver::CollectChild, reinterpret_cast<LPARAM>(&children));
        std::string statics;
        std::string buttons;
        for (HWND child : children) {
            std::wstring kind = ClassName(child);
            bool isStatic = _wcsicmp(kind.c_str(), L"Static") == 0;
            // An icon control's window text is the resource reference, not text.
            bool icon = isStatic && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
            std::string item = "{\"id\":" + std::to_string(::GetDlgCtrlID(child)) +
                               ",\"text\":" + Json(icon ? std::string() : Utf8(WindowText(child))) +
                               (icon ? ",\"icon\":true" : "") +
                               ",\"visible\":" + (::IsWindowVisible(child) ? "true" : "false") +
                               "}";
            if (isStatic) {
                statics += (statics.empty() ? "" : ",") + item;
            } else if (_wcsicmp(kind.c_str(), L"Button") == 0) {
                buttons += (buttons.empty() ? "" : ",") + item;
            }
        }
        RECT rect = {};
        ::GetWindowRect(window, &rect);
        RECT area = {};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        LONG style = ::GetWindowLongW(window, GWL_STYLE);
        LONG exStyle = ::GetWindowLongW(window, GWL_EXSTYLE);
        auto rectJson = [](const RECT& r) {
            return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                   std::to_string(r.right) + "," + std::to_string(r.bottom) + "]";
        };
        char flags[64];
        std::snprintf(flags, sizeof flags, "\"style\":%ld,\"exstyle\":%ld", style, exStyle);
        return "{\"event\":\"window\",\"hwnd\":" + HandleText(window) +
               ",\"class\":" + Json(Utf8(ClassName(window))) +
               ",\"title\":" + Json(Utf8(WindowText(window))) + ",\"statics\":[" + statics +
               "],\"buttons\":[" + buttons +
               "],\"topmost\":" + ((exStyle & WS_EX_TOPMOST) ? "true" : "false") +
               ",\"toolwindow\":" + ((exStyle & WS_EX_TOOLWINDOW) ? "true" : "false") +
               ",\"titlebar\":" + (((style & WS_CAPTION) == WS_CAPTION) ? "true" : "false") +
               ",\"owner\":" + HandleText(::GetWindow(window, GW_OWNER)) +
               ",\"foreground\":" + (::GetForegroundWindow() == window ? "true" : "false") +
               ",\"rect\":" + rectJson(rect) + ",\"workarea\":" + rectJson(area) + "," + flags +
               ",\"t\":" + std::to_string(Elapsed()) + "}";
    }

    bool Exited() const { return ::WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }

    int WaitWindow() {
        while (true) {
            Poll();
            if (!fresh_.empty()) {
                current_ = fresh_.front();
                fresh_.pop_front();
                return 0;
            }
            if (Exited()) return Fail("the program ended before another window appeared");
            if (Expired()) return 3;
            ::Sleep(kPollMs);
        }
    }

    HWND FindButton(bool (*matches)(HWND, const void*), const void* wanted) {
        std::vector<HWND> children;
        ::EnumChildWindows(current_, &Driver::CollectChild, reinterpret_cast<LPARAM>(&children));
        for (HWND child : children) {
            if (_wcsicmp(ClassName(child).c_str(), L"Button") == 0 && matches(child, wanted)) {
                return child;
            }
        }
        return nullptr;
    }

    int Click(HWND button, const std::string& what) {
        if (button == nullptr) return Fail("no button " + what + " in the current window");
        Emit("{\"event\":\"press\",\"button\":" + Json(what) + ",\"id\":" +
             std::to_string(::GetDlgCtrlID(button)) + ",\"t\":" + std::to_string(Elapsed()) + "}");
        // Posted, not sent: the handler may run a modal loop of its own.
        ::PostMessageW(::GetParent(button), WM_COMMAND,
                       MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        return 0;
    }

    int PressByCaption(const std::wstring& caption) {
        if (current_ == nullptr) return Fail("no current window");
        auto matches = [](HWND button, const void* wanted) {
            return WithoutAccelerator(WindowText(button)) ==
                   *static_cast<const std::wstring*>(wanted);
        };
        return Click(FindButton(matches, &caption), Utf8(caption));
    }

    int PressById(int id) {
        if (current_ == nullptr) return Fail("no current window");
        auto matches = [](HWND button, const void* wanted) {
            return ::GetDlgCtrlID(button) == *static_cast<const int*>(wanted);
        };
        return Click(FindButton(matches, &id), "#" + std::to_string(id));
    }

    int SendKey(UINT key) {
        if (current_ == nullptr) return Fail("no current window");
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        HWND target = current_;
        if (::GetGUIThreadInfo(process_.dwThreadId, &info) && info.hwndFocus != nullptr) {
            target = info.hwndFocus;
        }
        Emit("{\"event\":\"key\",\"key\":" + Json(key == VK_RETURN ? "enter" : "escape") +
             ",\"to\":" + HandleText(target) + ",\"t\":" + std::to_string(Elapsed()) + "}");
        ::PostMessageW(target, WM_KEYDOWN, key, 1);
        ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
        return 0;
    }

    int CloseCurrent() {
        if (current_ == nullptr) return Fail("no current window");
        Emit("{\"event\":\"close\",\"t\":" + std::to_string(Elapsed()) + "}");
        ::PostMessageW(current_, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }

    int WaitGone() {
        if (current_ == nullptr) return Fail("no current window");
        while (::IsWindow(current_) && ::IsWindowVisible(current_)) {
            Poll();
            if (Expired()) return 3;
            ::Sleep(kPollMs);
        }
        DWORD now = Elapsed();
        Emit("{\"event\":\"gone\",\"hwnd\":" + HandleText(current_) +
             ",\"t\":" + std::to_string(now) +
             ",\"shown_ms\":" + std::to_string(now - appeared_[current_]) + "}");
        return 0;
    }

    int Sleep(int milliseconds) {
        DWORD until = ::GetTickCount() + milliseconds;
        while (static_cast<LONG>(::GetTickCount() - until) < 0) {
            Poll();
            if (Expired()) return 3;
            ::Sleep(kPollMs);
        }
        return 0;
    }

    int Quiet(int milliseconds) {
        size_t before = reported_.size();
        int result = Sleep(milliseconds);
        if (result != 0) return result;
        if (!fresh_.empty() || reported_.size() > before) return Fail("a window appeared");
        return 0;
    }

    int Ping(int progressId) {
        if (current_ == nullptr) return Fail("no current window");
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        double longest = 0;
        int answers = 0;
        int range = -1;
        std::string positions;
        while (::IsWindow(current_) && ::IsWindowVisible(current_)) {
            Poll();
            if (Expired()) return 3;
            LARGE_INTEGER before, after;
            DWORD_PTR result = 0;
            ::QueryPerformanceCounter(&before);
            LRESULT answered =
                ::SendMessageTimeoutW(current_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
            ::QueryPerformanceCounter(&after);
            // A message left unanswered until its window went waited all the
            // same: its time counts whether or not an answer came.
            double ms = (after.QuadPart - before.QuadPart) * 1000.0 / frequency.QuadPart;
            if (ms > longest) longest = ms;
            if (answered != 0) ++answers;
            HWND bar = ::GetDlgItem(current_, progressId);
            DWORD_PTR position = 0, high = 0;
            if (bar != nullptr &&
                ::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, 10000, &position) &&
                ::SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_NORMAL, 10000, &high)) {
                positions += (positions.empty() ? "" : ",") + std::to_string(position);
                range = static_cast<int>(high);
            }
            ::Sleep(50);
        }
        char longestText[32];
        std::snprintf(longestText, sizeof longestText, "%.1f", longest);
        Emit("{\"event\":\"ping\",\"answers\":" + std::to_string(answers) +
             ",\"longest_ms\":" + longestText + ",\"range\":" + std::to_string(range) +
             ",\"positions\":[" + positions + "],\"t\":" + std::to_string(Elapsed()) + "}");
        return 0;
    }

    int WaitExit() {
        while (!Exited()) {
            Poll();
            if (Expired()) return 3;
            ::Sleep(kPollMs);
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process_.hProcess, &code);
        Emit("{\"event\":\"exit\",\"code\":" + std::to_string(code) +
             ",\"t\":" + std::to_string(Elapsed()) + "}");
        return 0;
    }

    PROCESS_INFORMATION process_ = {};
    DWORD started_ = 0;
    DWORD deadline_ = 0;
    HWND current_ = nullptr;
    std::set<HWND> reported_;
    std::deque<HWND> fresh_;
    std::map<HWND, DWORD> appeared_;
};

int Usage() {
    std::fputs(
        "usage: uidriver [--cwd DIR] [--args TEXT] [--timeout SECONDS] [--script FILE] EXE [STEP "
        "...]\n",
        stderr);
    return 64;
}

}  // namespace

int main() {
    // The arguments as the system has them (wide), in UTF-8 like every text
    // here: a program in a folder whose name the ANSI code page can't hold
    // is still started by its real name.
    int argc = 0;
    LPWSTR* wideArguments = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (wideArguments == nullptr) return Usage();
    std::vector<std::string> argumentTexts;
    for (int i = 0; i < argc; ++i) argumentTexts.push_back(Utf8(wideArguments[i]));
    ::LocalFree(wideArguments);
    std::vector<const char*> argv;
    for (const std::string& text : argumentTexts) argv.push_back(text.c_str());
    std::string cwd;
    std::string arguments;
    std::string exe;
    int timeoutSeconds = 30;
    std::vector<std::string> steps;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (exe.empty() && arg == "--cwd" && i + 1 < argc) {
            cwd = argv[++i];
        } else if (exe.empty() && arg == "--args" && i + 1 < argc) {
            arguments = argv[++i];
        } else if (exe.empty() && arg == "--timeout" && i + 1 < argc) {
            timeoutSeconds = std::atoi(argv[++i]);
        } else if (exe.empty() && arg == "--script" && i + 1 < argc) {
            std::ifstream script(Wide(argv[++i]).c_str());
            if (!script) return Usage();
            for (std::string line; std::getline(script, line);) {
                while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                    line.pop_back();
                if (!line.empty() && line[0] != '#') steps.push_back(line);
            }
        } else if (exe.empty()) {
            exe = arg;
        } else {
            steps.push_back(arg);
        }
    }
    if (exe.empty()) return Usage();

    Driver driver;
    driver.SetDeadline(static_cast<DWORD>(timeoutSeconds) * 1000);
    if (!driver.Start(exe, arguments, cwd)) return 4;
    for (const std::string& step : steps) {
        int result = driver.Run(step);
        if (result == 3) return driver.TimedOut(step);
        if (result != 0) {
            driver.Kill();
            return result;
        }
    }
    driver.Kill();
    return 0;
}
