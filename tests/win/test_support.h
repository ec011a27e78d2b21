// Helpers for the Windows tests: real folders and files under %TEMP%, real
// processes that are always ended, and the paths of the build's fixtures.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

// A fresh folder under %TEMP% (path ends without backslash), removed with
// everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
bool MakeFolder(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool Exists(const std::string& path);
// True once `path` exists, looking every 50 ms for at most `milliseconds`.
bool WaitForFile(const std::string& path, unsigned milliseconds);
DWORD Attributes(const std::string& path);

// Every file and folder under `folder` (not RIZezuvu.log), one line each with
// its attributes and bytes, in name order: two snapshots compare equal when
// the folder is byte for byte as it was.
std::string Snapshot(const std::string& folder);

// The folder of the running test program.
std::string ProgramFolder();
// The build's folder of fixture files (Windows path).
std::string FixtureFolder();

// Runs a command line and waits; answers its exit code (or -1).
int RunAndWait(const std::string& commandLine, DWORD timeoutMs = 120000);

// A started process that is ended (and waited for) when the object goes.
class ChildProcess {
public:
    explicit ChildProcess(const std::string& exePath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool Started() const { return info_.hProcess != nullptr; }
    // Why it could not be started (0 when it was).
    DWORD StartError() const { return startError_; }

private:
    PROCESS_INFORMATION info_ = {};
    DWORD startError_ = 0;
};

// A log line's time stamp, "%d, %B %Y, %H:%M:%S: " in English (regex, unanchored).
extern const char kLogStampPattern[];

// The lines after their time stamps, in order, of a log's bytes (CR LF ends a
// line); each stamp must have the log's form.
std::string StripStamps(const std::string& logBytes, bool* allStamped);

}  // namespace testing_support
