#include "platform/named_lock.h"

#include "platform/path_rules.h"

std::string InstallationLockName(const std::string& installFolder) {
    // FNV-1a over the folder as the file system compares it (ASCII case and
    // separators folded, trailing separators dropped): a name of fixed
    // length, free of backslashes.
    const std::string folder = WithoutTrailingBackslashes(WithBackslashes(installFolder));
    unsigned long long hash = 14695981039346656037ull;
    for (char c : folder) {
        // Capitals: the hash, and so the lock's name, stay those of earlier releases.
        char folded = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        hash = (hash ^ static_cast<unsigned char>(folded)) * 1099511628211ull;
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string name = "Global\\RIZezuvu-update-";
    for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
    return name;
}
