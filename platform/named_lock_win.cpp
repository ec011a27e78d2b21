#include "platform/named_lock_win.h"

namespace platform {

NamedLock::~NamedLock() {
    if (held_) {
        LastErrorKeeper keep;
        ::ReleaseMutex(mutex_.Get());
    }
}

bool NamedLock::Take(const std::string& name) {
    mutex_.Reset(::CreateMutexA(nullptr, FALSE, name.c_str()));
    if (!mutex_.IsValid()) return false;
    switch (::WaitForSingleObject(mutex_.Get(), 0)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:
            held_ = true;
            return true;
        case WAIT_TIMEOUT:
            mutex_.Reset();
            ::SetLastError(ERROR_ALREADY_EXISTS);
            return false;
        default:
            return false;
    }
}

}  // namespace platform
