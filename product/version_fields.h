// Dotted version texts: cutting into trimmed fields and ordering two versions.
// Pure logic with no operating-system calls; built natively and for Windows.
#pragma once

#include <string>
#include <vector>

#include "platform/path_rules.h"

// Appends the fields of `text` separated by `separator`, each trimmed of
// white space at both ends, to `fields`. The separator search steps over
// double-byte characters as units, so a trail byte that equals the separator
// does not split. Returns the number of entries in `fields` afterwards.
int SplitFields(const std::string& text, char separator, std::vector<std::string>& fields,
                LeadBytePredicate isLeadByte = nullptr);

// Orders two versions of four fields, major.minor.xx.build, ignoring the
// third field. 1: first higher, -1: first lower, 0: equal on the compared
// fields or either text not of exactly four fields.
int CompareVersions(const std::string& first, const std::string& second,
                    LeadBytePredicate isLeadByte = nullptr);

// True when `installed` lies in [minimum, maximum] as CompareVersions orders
// them (a text that isn't four fields compares equal, so it passes).
bool VersionInRange(const std::string& installed, const std::string& minimum,
                    const std::string& maximum, LeadBytePredicate isLeadByte = nullptr);

// The standard atoi rule with defined overflow: leading white space, an
// optional sign, digits up to the first non-digit, clamped to 32 bits.
int ParseVersionField(const std::string& field);
