#include "platform/file_system_win.h"

#include "platform/path_rules.h"

#include <algorithm>
#include <cwchar>
#include <initializer_list>

namespace platform {

namespace {

// Folder calls refuse paths of MAX_PATH - 12 characters or more.
constexpr size_t kLongPathLength = MAX_PATH - 12;
// A chunk of a copy: small enough that a slow disk or network share still
// gives the caller its turn several times a second.
constexpr size_t kLargestCopyBuffer = 256 << 10;
// Data written since the last flush: the last flush of a large file then
// waits only on this much.
constexpr unsigned long long kFlushEvery = 4ull << 20;

// `path` made full: "." and ".." and the separators resolved, as the
// system does for a path it is given.
bool FullPath(std::wstring& path) {
    DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    std::wstring full(needed, L'\0');
    DWORD written = ::GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    if (written == 0 || written >= needed) return false;
    full.resize(written);
    path.swap(full);
    return true;
}

}  // namespace

bool SystemPath(const std::string& path, std::wstring& wide) {
    wide.clear();
    if (path.empty()) return true;
    int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(),
                                       static_cast<int>(path.size()), nullptr, 0);
    if (length <= 0) return false;
    std::wstring converted(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                          &converted[0], length);
    if (path.size() < kLongPathLength) {
        wide.swap(converted);
        return true;
    }
    // An extended path is taken literally: resolve "." and ".." and the
    // separators first, as the system would for a short one.
    std::wstring full = converted;
    if (!FullPath(full)) return false;
    if (full.compare(0, 4, L"\\\\?\\") == 0) {
        wide.swap(full);
    } else if (full.compare(0, 2, L"\\\\") == 0) {
        wide = L"\\\\?\\UNC\\" + full.substr(2);
    } else {
        wide = L"\\\\?\\" + full;
    }
    return true;
}

namespace {

bool ToAnsi(const wchar_t* wide, std::string& text) {
    int length = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    text.assign(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, &text[0], length, nullptr, nullptr);
    text.resize(static_cast<size_t>(length - 1));
    return true;
}

// What a copy and a rewrite need of an open file. Not
// GetFileInformationByHandle: its volume serial number costs Wine a
// round trip to the mount manager for every file.
struct FileBasics {
    unsigned long long size = 0;
    DWORD attributes = 0;
    unsigned long long lastWrite = 0;  // FILETIME as one number
};

FILETIME FileTimeOf(unsigned long long number) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(number);
    time.dwHighDateTime = static_cast<DWORD>(number >> 32);
    return time;
}

bool QueryBasics(HANDLE file, FileBasics& basics) {
    LARGE_INTEGER size;
    FILE_BASIC_INFO info;
    if (!::GetFileSizeEx(file, &size) ||
        !::GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info))
        return false;
    basics.size = static_cast<unsigned long long>(size.QuadPart);
    basics.attributes = info.FileAttributes;
    basics.lastWrite = static_cast<unsigned long long>(info.LastWriteTime.QuadPart);
    return true;
}

// The attributes a copy of a file with `attributes` gets: never read-only,
// hidden or system (the next update replaces it, and a package on read-only
// media is the usual case).
DWORD AttributesOfACopy(DWORD attributes) {
    DWORD kept = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    return kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept;
}

// Deletes what a failed copy made, keeping the copy's own code.
void DiscardCopy(KernelHandle& target, const std::wstring& path) {
    LastErrorKeeper keep;
    target.Reset();
    ::DeleteFileW(path.c_str());
}

}  // namespace

bool GetFileAttributesAt(const std::string& path, unsigned long& attributes) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return false;
    DWORD found = ::GetFileAttributesW(wide.c_str());
    if (found == INVALID_FILE_ATTRIBUTES) return false;
    attributes = found;
    return true;
}

bool IsNotFoundCode(unsigned long code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

bool SetFileAttributesAt(const std::string& path, unsigned long attributes) {
    std::wstring wide;
    return SystemPath(path, wide) && ::SetFileAttributesW(wide.c_str(), attributes) != FALSE;
}

bool SetAttributesOf(const KernelHandle& file, unsigned long attributes) {
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes;
    return ::SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof basic) != FALSE;
}

bool CreateFolderAt(const std::string& path) {
    std::wstring wide;
    return SystemPath(path, wide) && ::CreateDirectoryW(wide.c_str(), nullptr) != FALSE;
}

bool RemoveFolderAt(const std::string& path) {
    std::wstring wide;
    return SystemPath(path, wide) && ::RemoveDirectoryW(wide.c_str()) != FALSE;
}

bool RemoveFileAt(const std::string& path) {
    std::wstring wide;
    return SystemPath(path, wide) && ::DeleteFileW(wide.c_str()) != FALSE;
}

bool MoveTo(const std::string& source, const std::string& target) {
    std::wstring from, to;
    return SystemPath(source, from) && SystemPath(target, to) &&
           ::MoveFileExW(from.c_str(), to.c_str(), 0) != FALSE;
}

bool MoveReplacing(const std::string& source, const std::string& target) {
    std::wstring from, to;
    return SystemPath(source, from) && SystemPath(target, to) &&
           ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool CreateHardLinkAt(const std::string& link, const std::string& existing) {
    std::wstring linkPath, existingPath;
    return SystemPath(link, linkPath) && SystemPath(existing, existingPath) &&
           ::CreateHardLinkW(linkPath.c_str(), existingPath.c_str(), nullptr) != FALSE;
}

bool CanReplaceFileAt(const std::string& path) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return false;
    // Every kind of sharing: only a handle that denies deleting fails it.
    return KernelHandle(::CreateFileW(wide.c_str(), DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
        .IsValid();
}

bool CopyFileDurably(const std::string& source, const std::string& target,
                     const ChunkFunction& chunk) {
    std::wstring from, to;
    if (!SystemPath(source, from) || !SystemPath(target, to)) return false;
    KernelHandle input(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!input.IsValid()) return false;
    FileBasics info;
    if (!QueryBasics(input.Get(), info)) return false;
    DWORD attributes = AttributesOfACopy(info.attributes);
    KernelHandle output(::CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      attributes | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!output.IsValid()) return false;
    unsigned long long size = info.size;
    std::vector<char> buffer(static_cast<size_t>(
        std::max<unsigned long long>(1, std::min<unsigned long long>(size, kLargestCopyBuffer))));
    unsigned long long unflushed = 0;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(input.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                        nullptr)) {
            DiscardCopy(output, to);
            return false;
        }
        if (read == 0) break;
        DWORD written = 0;
        if (!::WriteFile(output.Get(), buffer.data(), read, &written, nullptr)) {
            DiscardCopy(output, to);
            return false;
        }
        if (written != read) {
            // A short write that the system called a success: the disk is
            // full. The thread's last error says nothing here (it may be left
            // from any earlier call), so the code is set.
            ::SetLastError(ERROR_DISK_FULL);
            DiscardCopy(output, to);
            return false;
        }
        unflushed += written;
        if (unflushed >= kFlushEvery) {
            if (!::FlushFileBuffers(output.Get())) {
                DiscardCopy(output, to);
                return false;
            }
            unflushed = 0;
        }
        if (chunk && !chunk(buffer.data(), written)) {
            DiscardCopy(output, to);
            return false;
        }
    }
    // The end, also of an empty file: the caller's turn all the same.
    if (chunk && !chunk(nullptr, 0)) {
        DiscardCopy(output, to);
        return false;
    }
    // The copy's data reaches the disk before anything depends on it: the
    // update is made final only once every new file is whole there.
    FILETIME lastWrite = FileTimeOf(info.lastWrite);
    if (!::SetFileTime(output.Get(), nullptr, nullptr, &lastWrite) ||
        !::FlushFileBuffers(output.Get())) {
        DiscardCopy(output, to);
        return false;
    }
    return true;
}

bool SamePathText(const std::string& a, const std::string& b) {
    std::wstring first, second;
    if (!SystemPath(a, first) || !SystemPath(b, second)) return false;
    return FullPath(first) && FullPath(second) &&
           ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, first.c_str(), -1, second.c_str(),
                            -1) == CSTR_EQUAL;
}

bool AreSameFile(const std::string& a, const std::string& b, bool& same) {
    auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        std::wstring wide;
        if (!SystemPath(path, wide)) return false;
        KernelHandle file(
            ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        return file.IsValid() && ::GetFileInformationByHandle(file.Get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION first, second;
    if (!identify(a, first) || !identify(b, second)) return false;
    same = first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
    return true;
}

bool SameExistingFile(const std::string& a, const std::string& b) {
    bool same = false;
    return AreSameFile(a, b, same) && same;
}

bool ReadFileInChunks(const std::string& path, const ChunkFunction& chunk) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return false;
    KernelHandle input(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!input.IsValid()) return false;
    std::vector<char> buffer(kLargestCopyBuffer);
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(input.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                        nullptr))
            return false;
        if (read == 0) return true;
        if (!chunk(buffer.data(), read)) return false;
    }
}

bool GetFileSizeAt(const std::string& path, unsigned long long& size) {
    std::wstring wide;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!SystemPath(path, wide) ||
        !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return false;
    size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

KernelHandle CreateNewFileAt(const std::string& path) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return KernelHandle();
    return KernelHandle(::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadWholeFileAt(const std::string& path, std::string& bytes, unsigned long limit) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return false;
    KernelHandle file(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size)) return false;
    if (static_cast<unsigned long long>(size.QuadPart) > limit) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    // A read may give less than asked (a network share does): read on until
    // the end, and no further than the limit however the file grows.
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (bytes.size() >= limit) break;
            bytes.resize(std::min<size_t>(bytes.size() + 4096, limit));
        }
        DWORD read = 0;
        if (!::ReadFile(file.Get(), &bytes[have], static_cast<DWORD>(bytes.size() - have), &read,
                        nullptr))
            return false;
        if (read == 0) break;
        have += read;
    }
    bytes.resize(have);
    return true;
}

bool FinalPathOf(const KernelHandle& handle, std::string& finalPath) {
    // The drive-letter form where there is one (Wine knows no device name
    // for a drive mapped after its server started); the device form for a
    // volume without a letter. The two never share a beginning, so a path
    // on a volume without a letter never passes for one inside a folder on
    // a lettered one.
    std::wstring wide;
    for (DWORD form : {static_cast<DWORD>(VOLUME_NAME_DOS), static_cast<DWORD>(VOLUME_NAME_NT)}) {
        wide.assign(MAX_PATH, L'\0');
        DWORD length = ::GetFinalPathNameByHandleW(handle.Get(), &wide[0],
                                                   static_cast<DWORD>(wide.size()), form);
        if (length >= wide.size()) {
            wide.assign(length + 1, L'\0');
            length = ::GetFinalPathNameByHandleW(handle.Get(), &wide[0],
                                                 static_cast<DWORD>(wide.size()), form);
        }
        if (length != 0 && length < wide.size()) {
            wide.resize(length);
            break;
        }
        wide.clear();
    }
    if (wide.empty()) return false;
    int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    finalPath.assign(static_cast<size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &finalPath[0],
                          bytes, nullptr, nullptr);
    return true;
}

bool FinalPathAt(const std::string& path, std::string& finalPath) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return false;
    // No access to the data: only a look at where it is, in no one's way.
    KernelHandle file(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.IsValid() && FinalPathOf(file, finalPath);
}

KernelHandle OpenFolderHeld(const std::string& path) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return KernelHandle();
    // Without FILE_SHARE_DELETE no one else can open it to rename or delete
    // it. The handle must read the folder to count: one with access to its
    // attributes only takes no part in the sharing check.
    return KernelHandle(::CreateFileW(wide.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool ListFolder(const std::string& folder, const char* pattern, bool foldersToo,
                std::vector<std::string>& names) {
    std::wstring wide;
    if (!SystemPath(folder + "\\" + pattern, wide)) return false;
    WIN32_FIND_DATAW data;
    FindHandle search(::FindFirstFileW(wide.c_str(), &data));
    if (!search.IsValid()) {
        DWORD code = ::GetLastError();
        // Nothing matching is an answer, not a failure.
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) return true;
        return false;
    }
    do {
        if (!foldersToo && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0)
            continue;
        std::string name;
        if (!ToAnsi(data.cFileName, name)) return false;
        names.push_back(name);
    } while (::FindNextFileW(search.Get(), &data));
    if (::GetLastError() != ERROR_NO_MORE_FILES) return false;
    return true;
}

bool WriteAll(const KernelHandle& file, const void* data, unsigned long size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(file.Get(), next, size, &written, nullptr)) return false;
        if (written == 0) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        next += written;
        size -= written;
    }
    return true;
}

bool FlushToDisk(const KernelHandle& file) { return ::FlushFileBuffers(file.Get()) != FALSE; }

bool FlushFolderToDisk(const std::string& path) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return false;
    // Shared every way: the run's own holds on its folders (read, no delete
    // sharing) must not keep it from opening one to flush it.
    KernelHandle folder(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder.IsValid() && FlushToDisk(folder);
}

bool FileSystemNameOf(const std::string& path, std::string& name) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return false;
    wchar_t mount[MAX_PATH + 1];
    if (!::GetVolumePathNameW(wide.c_str(), mount, MAX_PATH + 1)) return false;
    wchar_t fileSystem[MAX_PATH + 1];
    if (!::GetVolumeInformationW(mount, nullptr, 0, nullptr, nullptr, nullptr, fileSystem,
                                 MAX_PATH + 1))
        return false;
    return ToAnsi(fileSystem, name);
}

bool FlushVolumeOf(const std::string& path) {
    std::wstring wide;
    if (!SystemPath(path, wide)) return false;
    wchar_t mount[MAX_PATH + 1];
    if (!::GetVolumePathNameW(wide.c_str(), mount, MAX_PATH + 1)) return false;
    // "C:\" names the root folder; the volume is "\\.\C:", without the
    // backslash. A volume mounted in a folder is reached by its GUID name.
    std::wstring volume;
    wchar_t guid[MAX_PATH + 1];
    size_t length = std::wcslen(mount);
    if (length == 3 && mount[1] == L':') {
        volume = std::wstring(L"\\\\.\\") + mount[0] + L":";
    } else if (::GetVolumeNameForVolumeMountPointW(mount, guid, MAX_PATH + 1)) {
        volume = guid;
        if (!volume.empty() && volume.back() == L'\\') volume.pop_back();
    } else {
        return false;
    }
    KernelHandle device(::CreateFileW(volume.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
    return device.IsValid() && FlushToDisk(device);
}

KernelHandle OpenForAppending(const char* path) {
    return KernelHandle(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

namespace {

// True when the open `file` really lies inside the folder whose final path
// is `folderFinalPath` and has no other name (a hard link whose other name
// lies elsewhere would take the write there); else ERROR_CANT_ACCESS_FILE.
bool OnlyInside(const KernelHandle& file, const std::string& folderFinalPath) {
    std::string finalPath;
    BY_HANDLE_FILE_INFORMATION info;
    if (!FinalPathOf(file, finalPath) || !::GetFileInformationByHandle(file.Get(), &info))
        return false;
    if (FinalPathLiesInside(finalPath, folderFinalPath, false) && info.nNumberOfLinks == 1)
        return true;
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return false;
}

}  // namespace

KernelHandle OpenForAppendingInside(const char* path, const std::string& folderFinalPath) {
    KernelHandle file(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid() && ::GetLastError() == ERROR_ACCESS_DENIED) {
        // Read-only (left so by an earlier run): made a plain file again
        // through a handle that is checked first, then opened once more.
        KernelHandle attributes(::CreateFileA(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!attributes.IsValid() || !OnlyInside(attributes, folderFinalPath) ||
            !SetAttributesOf(attributes, FILE_ATTRIBUTE_NORMAL))
            return KernelHandle();
        attributes.Reset();
        file = KernelHandle(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file.IsValid()) {
        DWORD code = ::GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) return file;
        file = KernelHandle(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) {
            // Not there to open, yet its name is taken: a link that leads
            // nowhere, which is never followed to make a file.
            DWORD created = ::GetLastError();
            if (created == ERROR_FILE_EXISTS || created == ERROR_ALREADY_EXISTS)
                ::SetLastError(ERROR_CANT_ACCESS_FILE);
            return file;
        }
    } else {
        // As OPEN_ALWAYS leaves it for an existing file.
        ::SetLastError(ERROR_ALREADY_EXISTS);
    }
    DWORD opened = ::GetLastError();
    if (!OnlyInside(file, folderFinalPath)) return KernelHandle();
    ::SetLastError(opened);
    return file;
}

}  // namespace platform
