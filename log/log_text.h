// Text of the upgrade log's lines: the time stamp and the safe expansion of a
// configured text. Pure logic; built natively and for Windows.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

// Room for one line's text: 1023 characters and the terminator.
constexpr size_t kLogMessageSize = 1024;

// "%d, %B %Y, %H:%M:%S: " with English month names whatever the user's
// locale, or "Invalid DateTime" (no colon, no space) when `local` is null.
std::string FormatLogTimestamp(const std::tm* local);

// Expands a text taken from the configuration with its one argument into
// `out` (capacity `size`, always terminated, cut when longer). The first "%s"
// takes `argument`, "%%" is a percent sign, and every other conversion,
// including a second "%s", is copied as it stands: a configured text can
// never make the formatter read arguments that were not passed. For texts
// with at most one "%s" and no other conversion the result equals printf's.
void ExpandConfiguredText(char* out, size_t size, const char* text, const char* argument);
