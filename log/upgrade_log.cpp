#include "log/upgrade_log.h"

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <ctime>

#include "platform/handles.h"
#include "platform/path_services.h"

std::FILE* UpgradeLog::s_stream = nullptr;
char UpgradeLog::s_message[kLogMessageSize];

namespace {

constexpr char kLogFileName[] = "RIZezuvu.log";

// Closes a log still open when the process ends.
struct LogCloserAtExit {
    ~LogCloserAtExit() { UpgradeLog::Close(); }
} g_logCloserAtExit;

}  // namespace

int UpgradeLog::Open(const char* location) {
    if (s_stream != nullptr) return 1;
    platform::PathBuffer path;
    if (!platform::CopyToPathBuffer(path, location)) return 0;
    platform::RemoveFileSpec(path);
    if (!platform::AppendPath(path, kLogFileName)) return 0;
    // A log left read-only, hidden or system by an earlier run is reopened.
    platform::SetNormalAttributes(path);

    platform::KernelHandle file = platform::OpenForAppending(path);
    if (!file.IsValid()) return 0;
    // From here on the runtime reports through errno, and the last error
    // still holds ERROR_ALREADY_EXISTS from opening an existing log: each
    // failure sets a code of its own.
    // Text mode: every line feed written is stored as CR LF.
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_TEXT | _O_WRONLY);
    if (descriptor == -1) {
        platform::SetLastErrorCode(ERROR_TOO_MANY_OPEN_FILES);
        return 0;
    }
    file.Release();  // the descriptor owns the handle now
    std::FILE* stream = _fdopen(descriptor, "wt");
    if (stream == nullptr) {
        _close(descriptor);
        platform::SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        std::fclose(stream);
        platform::SetLastErrorCode(ERROR_SEEK);
        return 0;
    }
    s_stream = stream;
    return 1;
}

int UpgradeLog::Write(const char* format, ...) {
    if (s_stream == nullptr) return 0;
    va_list arguments;
    va_start(arguments, format);
    // vsnprintf cuts a longer text at 1023 characters and always terminates.
    std::vsnprintf(s_message, sizeof s_message, format, arguments);
    va_end(arguments);
    return WriteLine();
}

int UpgradeLog::WriteConfigured(const char* text, const char* argument) {
    if (s_stream == nullptr) return 0;
    ExpandConfiguredText(s_message, sizeof s_message, text, argument);
    return WriteLine();
}

// Writing a line never changes the caller's last-error code: a failure report
// that follows a logged failure must still show the failure's own cause.
// Each line is handed to the system at once, so that it is in the file when
// the failure report points there, and a line that could not be written
// (a full disk) answers 0.
int UpgradeLog::WriteLine() {
    platform::LastErrorKeeper keepCallersError;
    std::time_t now = std::time(nullptr);
    const std::tm* local = now == static_cast<std::time_t>(-1) ? nullptr : std::localtime(&now);
    std::clearerr(s_stream);
    bool written = std::fputs(FormatLogTimestamp(local).c_str(), s_stream) >= 0 &&
                   std::fputs(s_message, s_stream) >= 0 && std::fputs("\n", s_stream) >= 0 &&
                   std::fflush(s_stream) == 0;
    return written ? 1 : 0;
}

void UpgradeLog::Close() {
    if (s_stream == nullptr) return;
    std::fclose(s_stream);
    s_stream = nullptr;
}
