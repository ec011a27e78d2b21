// The path rules of an elevated program that writes into Program Files: what
// a relative path may contain to stay inside its base folder, how the shell
// joins one to a folder, and the room of a path. One home for them: the
// plan of the content copy, the install journal and ovpack all call these.
// Pure logic, no system calls (the system's side is path_services_win.h).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Tells whether a byte starts a double-byte character of the ANSI code page,
// so that a trail byte is never taken for a separator. Null means a
// single-byte code page.
using LeadBytePredicate = bool (*)(unsigned char);

// The room of a path buffer: at most 259 characters of text.
constexpr size_t kMaxPathText = 259;

bool IsPathSeparator(char c);

// `path` with every '/' made a backslash. Safe in any ANSI code page: no
// double-byte character has '/' (0x2F) as its second byte.
std::string WithBackslashes(const std::string& path);

// `folder` ending in a backslash: one is added unless it ends in one already
// (a '/' at its end is kept as a name's character, as the shell's join
// keeps it). An empty folder gives "\".
std::string WithTrailingBackslash(const std::string& folder);

// `path` without the backslashes at its end ("C:\Orvexa\\" gives
// "C:\Orvexa", "C:\" gives "C:").
std::string WithoutTrailingBackslashes(const std::string& path);

// A folder as the plan's bases hold it (the installation folder, the package
// folder): cut to kMaxPathText characters, then given a trailing backslash.
// False (and `base` untouched) when the backslash no longer fits.
bool MakePlanBase(const std::string& folder, std::string& base);

// Splits at backslashes (the only separator the shell's join resolves "."
// and ".." at), stepping over double-byte characters.
std::vector<std::string> SplitPathComponents(const std::string& path, LeadBytePredicate isLeadByte);

// True when `relative` names something inside its base folder: not empty, no
// drive, no leading separator, no device or stream colon, no control
// character, and no ".." that climbs above the base.
bool IsContainedRelativePath(const std::string& relative, LeadBytePredicate isLeadByte);

// True for a contained relative path without an empty component (a doubled
// separator), without a trailing "." or ".." component and without a
// component that starts with ".." ("..a"): the shell's join treats those in
// ways of its own, so they are refused rather than guessed at.
bool IsPlainRelativePath(const std::string& path, LeadBytePredicate isLeadByte);

// `folder` (ending in a backslash) joined with a plain relative `name`:
// "." and ".." components resolved as the shell's PathCombine does. False
// when the result would pass kMaxPathText characters.
bool JoinContainedPath(const std::string& folder, const std::string& name, std::string& out,
                       LeadBytePredicate isLeadByte);

// The folder part of `path`: all before its last separator (stepping over
// double-byte characters), empty when it has none.
std::string FolderOfPath(const std::string& path, LeadBytePredicate isLeadByte);

// True when `finalPath` lies inside `folder` (or is it, with `orSame`):
// both as the system spells where an object really is (FinalPathAt in
// file_system_win.h), compared component by component, ASCII case aside. What
// an elevated write may reach is judged by this, never by a path's text.
bool FinalPathLiesInside(const std::string& finalPath, const std::string& folder, bool orSame);

// The last component of a name ("Skins\default.skin" gives "default.skin").
std::string LastPathComponent(const std::string& name, LeadBytePredicate isLeadByte);
