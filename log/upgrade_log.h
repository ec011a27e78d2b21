// RIZezuvu.log: the append-only record of every run, one time-stamped line
// per write. One log per process; its state lives for the whole process.
#pragma once

#include <cstdio>
#include <string>

#include "log/log_text.h"

class UpgradeLog {
public:
    // Opens RIZezuvu.log in the folder of `location`: the folder itself when
    // the text ends with a backslash, otherwise its parent. Creates the file
    // when missing and never truncates it. 1 = open; 0 = failed, with the
    // system's error code of the failed step left for the caller.
    static int Open(const char* location);

    // Opens a second file, at exactly `path`, that gets a copy of every line
    // from now on (for a deployment system that collects it). Created when
    // missing, never truncated. 1 = open; 0 = failed, with the system's code.
    static int OpenCopy(const char* path);

    // Writes one line from a program-supplied printf format. 1 = written to
    // the file; 0 = the log is not open (the arguments are not formatted) or
    // the line could not be written. Lines also go to the copy when it is
    // open, whatever the answer.
    static int Write(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // Writes one line from a text of the configuration and its one argument
    // (see ExpandConfiguredText); never reads arguments that were not passed.
    static int WriteConfigured(const char* text, const char* argument);

    // Closes the log and its copy; later writes answer 0.
    static void Close();

    // Closes the copy unwritten, and deletes it when OpenCopy made it: a run
    // refused before it wrote anything leaves no file behind.
    static void DiscardCopy();

    // The log's path for an installation at `location` (the rule Open
    // follows); false when it would not fit.
    static bool PathFor(const char* location, std::string& path);

private:
    static int WriteLine();

    // Plain pointers and arrays: nothing here is destroyed at exit, so the
    // application's teardown may close the log whatever the order of the
    // process's static destructors.
    static std::FILE* s_stream;
    static std::FILE* s_copy;
    static bool s_copyCreated;  // OpenCopy made the file
    static bool s_copyWritten;
    static char s_copyPath[260];
    static char s_message[kLogMessageSize];
};
