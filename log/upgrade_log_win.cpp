#include "log/upgrade_log.h"

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/handles_win.h"
#include "platform/path_services_win.h"
#include "platform/file_system_win.h"

std::FILE* UpgradeLog::s_stream = nullptr;
std::FILE* UpgradeLog::s_copy = nullptr;
bool UpgradeLog::s_copyCreated = false;
bool UpgradeLog::s_copyWritten = false;
char UpgradeLog::s_copyPath[260];
char UpgradeLog::s_message[kLogMessageSize];

namespace {

constexpr char kLogFileName[] = "RIZezuvu.log";

// Closes a log still open when the process ends.
struct LogCloserAtExit {
    ~LogCloserAtExit() { UpgradeLog::Close(); }
} g_logCloserAtExit;

}  // namespace

namespace {

// Opens `path` for appending as a text-mode stream (every line feed written
// is stored as CR LF). Null on failure, with a code of the failed step.
// `insideFolder`, when given, is the final path of the folder the file must
// really lie in (see platform::OpenForAppendingInside).
std::FILE* OpenAppendStream(const char* path, bool* created = nullptr,
                            const std::string* insideFolder = nullptr) {
    platform::KernelHandle file = insideFolder != nullptr
                                      ? platform::OpenForAppendingInside(path, *insideFolder)
                                      : platform::OpenForAppending(path);
    if (!file.IsValid()) return nullptr;
    if (created != nullptr) *created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    if (insideFolder != nullptr) {
        // The installation's log left hidden or system by an earlier run is
        // made a plain file again.
        platform::LastErrorKeeper keep;
        platform::SetAttributesOf(file, FILE_ATTRIBUTE_NORMAL);
    }
    // From here on the runtime reports through errno, and the last error
    // still holds ERROR_ALREADY_EXISTS from opening an existing log: each
    // failure sets a code of its own.
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_TEXT | _O_WRONLY);
    if (descriptor == -1) {
        platform::SetLastErrorCode(ERROR_TOO_MANY_OPEN_FILES);
        return nullptr;
    }
    file.Release();  // the descriptor owns the handle now
    std::FILE* stream = _fdopen(descriptor, "wt");
    if (stream == nullptr) {
        _close(descriptor);
        platform::SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        std::fclose(stream);
        platform::SetLastErrorCode(ERROR_SEEK);
        return nullptr;
    }
    return stream;
}

// One time-stamped line, handed to the system at once so that it is in the
// file when the failure report points there. False when it could not be
// written (a full disk).
bool WriteStamped(std::FILE* stream, const std::string& stamp, const char* message) {
    std::clearerr(stream);
    return std::fputs(stamp.c_str(), stream) >= 0 && std::fputs(message, stream) >= 0 &&
           std::fputs("\n", stream) >= 0 && std::fflush(stream) == 0;
}

}  // namespace

bool UpgradeLog::PathFor(const char* location, std::string& path) {
    platform::PathBuffer buffer;
    if (!platform::CopyToPathBuffer(buffer, location)) return false;
    if (!platform::RemoveFileSpec(buffer) || !platform::AppendPath(buffer, kLogFileName))
        return false;
    path = buffer;
    return true;
}

int UpgradeLog::Open(const char* location) {
    if (s_stream != nullptr) return 1;
    std::string path;
    if (!PathFor(location, path)) return 0;
    // The elevated program writes its log only inside the installation
    // folder: a log that is a link to a file elsewhere is refused.
    std::string folder = path.substr(0, path.size() - std::strlen(kLogFileName));
    if (folder.empty()) folder = ".";
    if (!platform::FinalPathAt(folder, folder)) {
        // The log's own path is what is not found.
        if (::GetLastError() == ERROR_FILE_NOT_FOUND)
            platform::SetLastErrorCode(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    // (A log left read-only, hidden or system by an earlier run is made a
    // plain file again, through the checked handle.)
    s_stream = OpenAppendStream(path.c_str(), nullptr, &folder);
    return s_stream != nullptr ? 1 : 0;
}

int UpgradeLog::OpenCopy(const char* path) {
    if (s_copy != nullptr) return 1;
    s_copy = OpenAppendStream(path, &s_copyCreated);
    s_copyWritten = false;
    if (!platform::CopyToPathBuffer(s_copyPath, path)) s_copyPath[0] = '\0';
    return s_copy != nullptr ? 1 : 0;
}

void UpgradeLog::DiscardCopy() {
    if (s_copy == nullptr) return;
    platform::LastErrorKeeper keepCallersError;
    std::fclose(s_copy);
    s_copy = nullptr;
    if (s_copyCreated && !s_copyWritten && s_copyPath[0] != '\0')
        platform::RemoveFileAt(s_copyPath);
}

int UpgradeLog::Write(const char* format, ...) {
    if (s_stream == nullptr && s_copy == nullptr) return 0;
    va_list arguments;
    va_start(arguments, format);
    // vsnprintf cuts a longer text at 1023 characters and always terminates.
    std::vsnprintf(s_message, sizeof s_message, format, arguments);
    va_end(arguments);
    return WriteLine();
}

int UpgradeLog::WriteConfigured(const char* text, const char* argument) {
    if (s_stream == nullptr && s_copy == nullptr) return 0;
    ExpandConfiguredText(s_message, sizeof s_message, text, argument);
    return WriteLine();
}

// Writing a line never changes the caller's last-error code: a failure report
// that follows a logged failure must still show the failure's own cause. The
// answer is the installation log's: the copy never decides what the failure
// report says.
int UpgradeLog::WriteLine() {
    platform::LastErrorKeeper keepCallersError;
    std::time_t now = std::time(nullptr);
    const std::tm* local = now == static_cast<std::time_t>(-1) ? nullptr : std::localtime(&now);
    std::string stamp = FormatLogTimestamp(local);
    if (s_copy != nullptr) {
        WriteStamped(s_copy, stamp, s_message);
        s_copyWritten = true;
    }
    if (s_stream == nullptr) return 0;
    return WriteStamped(s_stream, stamp, s_message) ? 1 : 0;
}

void UpgradeLog::Close() {
    if (s_copy != nullptr) {
        std::fclose(s_copy);
        s_copy = nullptr;
    }
    if (s_stream == nullptr) return;
    std::fclose(s_stream);
    s_stream = nullptr;
}
