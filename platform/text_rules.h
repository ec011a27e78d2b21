// Texts compared without regard to case, and the folded form that keys
// them: one rule for the configuration's element names and product ids, the
// command line's switches, the names of files (as Windows' file systems
// compare them) and the final paths an elevated write is judged by. Only
// ASCII letters are folded, byte by byte; bytes from 0x80 on stand as they
// are. The rule knows no code page: the second byte of a double-byte
// character, when it is an ASCII capital, is folded like one. Pure logic,
// no system calls.
#pragma once

#include <string>

// `c` with an ASCII capital made small.
char FoldedAscii(char c);

// The name with its ASCII capitals made small: two names are the same
// without regard to case when their folded names are equal.
std::string FoldedName(const std::string& name);

// Up to the first NUL of each.
bool EqualIgnoringCase(const char* a, const char* b);

// Whole texts: a NUL inside one never ends the comparison early.
bool SameIgnoringCase(const std::string& a, const std::string& b);
bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix);
bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix);
