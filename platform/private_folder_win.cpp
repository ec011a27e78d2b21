#include "platform/private_folder_win.h"

#include <windows.h>
#include <aclapi.h>

#include <cstring>
#include <vector>

#include "platform/file_system_win.h"
#include "platform/handles_win.h"

namespace platform {

namespace {

// Who may use the folder: full control, for the folder itself and, through
// CONTAINER_INHERIT_ACE, for every sub-folder created in it; never for files.
constexpr WELL_KNOWN_SID_TYPE kAllowed[] = {WinBuiltinAdministratorsSid, WinLocalSystemSid};
constexpr size_t kAllowedCount = sizeof kAllowed / sizeof kAllowed[0];
constexpr BYTE kAllowedFlags = CONTAINER_INHERIT_ACE;
// A copied entry reaches files only, here and in every sub-folder: not the
// folder itself (INHERIT_ONLY_ACE), not sub-folders (no CONTAINER_INHERIT_ACE,
// which a sub-folder would make its own), and not stopped after one level
// (no NO_PROPAGATE_INHERIT_ACE), so a file one sub-folder down gets it too.
constexpr BYTE kFileEntryFlags = OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE;

struct WellKnownSid {
    DWORD words[SECURITY_MAX_SID_SIZE / sizeof(DWORD) + 1];
};

// The folder's access list (null: the folder has none) in `descriptor`.
bool ReadAccessList(const std::string& folder, LocalMemory& descriptor, ACL*& list) {
    std::wstring wide;
    if (!SystemPath(folder, wide)) return false;
    KernelHandle handle(::CreateFileW(wide.c_str(), READ_CONTROL,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.IsValid()) return false;
    PSECURITY_DESCRIPTOR found = nullptr;
    list = nullptr;
    DWORD code = ::GetSecurityInfo(handle.Get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, &list, nullptr, &found);
    if (code != ERROR_SUCCESS) {
        ::SetLastError(code);
        return false;
    }
    descriptor.Reset(found);
    return true;
}

// True for an entry that a new file in its folder inherits.
bool ReachesFiles(const ACE_HEADER& entry) { return (entry.AceFlags & OBJECT_INHERIT_ACE) != 0; }

}  // namespace

bool CreatePrivateFolderAt(const std::string& path, const std::string& inheritFrom) {
    std::wstring wide;
    LocalMemory fromDescriptor;
    ACL* from = nullptr;
    if (!SystemPath(path, wide) || !ReadAccessList(inheritFrom, fromDescriptor, from)) return false;

    WellKnownSid allowed[kAllowedCount];
    DWORD size = sizeof(ACL);
    for (size_t i = 0; i < kAllowedCount; ++i) {
        DWORD sidSize = sizeof allowed[i].words;
        if (!::CreateWellKnownSid(kAllowed[i], nullptr, allowed[i].words, &sidSize)) return false;
        size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(allowed[i].words);
    }
    std::vector<const ACE_HEADER*> copied;
    BYTE revision = ACL_REVISION;
    if (from != nullptr) {
        for (DWORD i = 0; i < from->AceCount; ++i) {
            void* entry = nullptr;
            if (!::GetAce(from, i, &entry)) return false;
            const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
            if (!ReachesFiles(*header)) continue;
            copied.push_back(header);
            size += header->AceSize;
        }
        if (from->AclRevision > revision) revision = from->AclRevision;
    }
    // An access list is DWORD-aligned and holds at most 64 KiB, which
    // InitializeAcl checks.
    std::vector<DWORD> listWords((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    ACL* list = reinterpret_cast<ACL*>(listWords.data());
    if (!::InitializeAcl(list, static_cast<DWORD>(listWords.size() * sizeof(DWORD)), revision))
        return false;
    for (WellKnownSid& sid : allowed) {
        if (!::AddAccessAllowedAceEx(list, ACL_REVISION, kAllowedFlags, FILE_ALL_ACCESS, sid.words))
            return false;
    }
    // Each entry whole, of whatever type (allowed, denied, object or callback
    // entries alike), with only its inheritance flags changed (one that
    // `from` inherited becomes the folder's own); in the order `from` has
    // them, which is the order a new file there gets them in.
    std::vector<DWORD> entryWords;
    for (const ACE_HEADER* header : copied) {
        entryWords.assign((header->AceSize + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
        std::memcpy(entryWords.data(), header, header->AceSize);
        ACE_HEADER* entry = reinterpret_cast<ACE_HEADER*>(entryWords.data());
        entry->AceFlags =
            static_cast<BYTE>((entry->AceFlags & ~VALID_INHERIT_FLAGS) | kFileEntryFlags);
        if (!::AddAce(list, revision, MAXDWORD, entry, entry->AceSize)) return false;
    }

    SECURITY_DESCRIPTOR descriptor;
    if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor, TRUE, list, FALSE) ||
        !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
    return ::CreateDirectoryW(wide.c_str(), &attributes) != FALSE;
}

}  // namespace platform
