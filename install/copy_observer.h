// What follows the content copy's bytes as the journal's files write them:
// the sealed package's check and the status window's bar. The journal's
// Windows file operations (install/journal_files_win.h) do the I/O only and
// tell this what passes.
#pragma once

#include <string>

class CopyObserver {
public:
    virtual ~CopyObserver() = default;
    // Before `source` is copied. False refuses the copy (the last error set).
    virtual bool Begin(const std::string& source) = 0;
    // After each chunk is written, and with `data` null once all are. False
    // abandons the copy (the last error set).
    virtual bool Chunk(const char* data, unsigned long bytes) = 0;
    // After the copy of `source` failed; may turn the last error into the
    // package's fault.
    virtual void Failed(const std::string& source) = 0;
    // Between steps that copy nothing but may take a while, so that whoever
    // shows the progress serves its window. Keeps the last error.
    virtual void Idle() = 0;
};
