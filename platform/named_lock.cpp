#include "platform/named_lock.h"

std::string InstallationLockName(const std::string& installFolder) {
    // FNV-1a over the folder as the file system compares it (ASCII case and
    // separators folded, trailing separators dropped): a name of fixed
    // length, free of backslashes.
    size_t length = installFolder.size();
    while (length > 0 && (installFolder[length - 1] == '\\' || installFolder[length - 1] == '/'))
        --length;
    unsigned long long hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i) {
        char folded = installFolder[i] == '/' ? '\\' : installFolder[i];
        if (folded >= 'a' && folded <= 'z') folded = static_cast<char>(folded - 'a' + 'A');
        hash = (hash ^ static_cast<unsigned char>(folded)) * 1099511628211ull;
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string name = "Global\\RIZezuvu-update-";
    for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
    return name;
}
