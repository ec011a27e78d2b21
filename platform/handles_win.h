// Owning wrappers for the kinds of handle the program closes. Each type knows
// its invalid value and its close call; closing keeps the caller's last-error
// code so that a failure report after clean-up still shows the real cause.
#pragma once

#include <windows.h>

namespace platform {

// Records `code` as the thread's last-error code, for a failure that the
// system did not report through it.
inline void SetLastErrorCode(DWORD code) { ::SetLastError(code); }

// Runs on destruction: restores the last-error code read at construction.
class LastErrorKeeper {
public:
    LastErrorKeeper() : code_(::GetLastError()) {}
    ~LastErrorKeeper() { ::SetLastError(code_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD code_;
};

template <typename Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    UniqueResource() = default;
    explicit UniqueResource(Value value) : value_(value) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    bool IsValid() const { return Traits::IsValid(value_); }
    Value Get() const { return value_; }
    Value Release() {
        Value value = value_;
        value_ = Traits::Invalid();
        return value;
    }
    void Reset(Value value = Traits::Invalid()) {
        if (Traits::IsValid(value_)) {
            LastErrorKeeper keep;
            Traits::Close(value_);
        }
        value_ = value;
    }

private:
    Value value_ = Traits::Invalid();
};

// Kernel objects: files, processes, threads, snapshots. Some creators answer
// null on failure and others INVALID_HANDLE_VALUE; neither is ever closed.
struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Value h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Value h) { ::CloseHandle(h); }
};
using KernelHandle = UniqueResource<KernelHandleTraits>;

// A wildcard search started by FindFirstFileA.
struct FindHandleTraits {
    using Value = HANDLE;
    static Value Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Value h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Value h) { ::FindClose(h); }
};
using FindHandle = UniqueResource<FindHandleTraits>;

// Memory that the system allocated for the caller, such as FormatMessageA's text.
struct LocalMemoryTraits {
    using Value = HLOCAL;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value h) { return h != nullptr; }
    static void Close(Value h) { ::LocalFree(h); }
};
using LocalMemory = UniqueResource<LocalMemoryTraits>;

// An icon loaded at a size of the caller's choosing (not a shared one).
struct IconHandleTraits {
    using Value = HICON;
    static Value Invalid() { return nullptr; }
    static bool IsValid(Value h) { return h != nullptr; }
    static void Close(Value h) { ::DestroyIcon(h); }
};
using IconHandle = UniqueResource<IconHandleTraits>;

}  // namespace platform
