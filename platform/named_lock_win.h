// A named mutex held for as long as the object lives: one run at a time
// for whatever the name stands for, across processes and sessions.
#pragma once

#include <string>

#include "platform/handles_win.h"

namespace platform {

class NamedLock {
public:
    NamedLock() = default;
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    // Takes the mutex `name` without waiting. True when this process holds
    // it now (also when a process that held it ended without releasing
    // it). False with ERROR_ALREADY_EXISTS when another holds it, or with
    // the system's code when it can't be made.
    bool Take(const std::string& name);

private:
    KernelHandle mutex_;
    bool held_ = false;
};

}  // namespace platform
