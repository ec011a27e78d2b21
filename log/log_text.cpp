#include "log/log_text.h"

#include <cstdio>

namespace {

const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

// Appends `text` to `out` while room is left for the terminator.
void AppendCut(char* out, size_t size, size_t& used, const char* text, size_t length) {
    for (size_t i = 0; i < length && used + 1 < size; ++i) out[used++] = text[i];
}

}  // namespace

std::string FormatLogTimestamp(const std::tm* local) {
    if (local == nullptr || local->tm_mon < 0 || local->tm_mon > 11) return "Invalid DateTime";
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d, %s %04d, %02d:%02d:%02d: ", local->tm_mday,
                  kMonthNames[local->tm_mon], local->tm_year + 1900, local->tm_hour, local->tm_min,
                  local->tm_sec);
    return stamp;
}

void ExpandConfiguredText(char* out, size_t size, const char* text, const char* argument) {
    if (size == 0) return;
    size_t used = 0;
    bool argumentUsed = false;
    for (const char* p = text; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            AppendCut(out, size, used, "%", 1);
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !argumentUsed) {
            size_t length = 0;
            while (argument[length] != '\0') ++length;
            AppendCut(out, size, used, argument, length);
            argumentUsed = true;
            ++p;
        } else {
            AppendCut(out, size, used, p, 1);
        }
    }
    out[used] = '\0';
}
