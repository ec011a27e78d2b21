// The keys of OVConfig.xml's message table that the program looks up, and
// what a user sees when one is missing: one vocabulary for the program, the
// package checker (ovpack) and the tools. Pure data.
#pragma once

#include <cstddef>

namespace message_key {
constexpr char kTitle[] = "title";
constexpr char kAskUser[] = "askuser";
constexpr char kStatus[] = "status";
constexpr char kNotInstalled[] = "ovnotinstalled";
constexpr char kRunning[] = "ovrunning";
constexpr char kVersionError[] = "versionerror";
constexpr char kUpdateStart[] = "updatestart";
constexpr char kUpdateFile[] = "updatefile";
constexpr char kInstallSuccess[] = "ovinstallsuccess";
constexpr char kUpdateComplete[] = "updatecomplete";
constexpr char kDownloadCaption[] = "downloadcaption";
constexpr char kDownloadLink[] = "downloadlink";
constexpr char kHelpCaption[] = "helpcaption";
constexpr char kHelpLink[] = "helplink";
}  // namespace message_key

// A key the program looks up besides "askuser" (without which no update
// runs), and what the user sees when it is missing.
struct MessageKeyUse {
    const char* key;
    const char* whenMissing;
};
constexpr MessageKeyUse kMessageKeyUses[] = {
    {message_key::kTitle, "boxes and dialogs have empty captions"},
    {message_key::kStatus, "the status window shows an empty line"},
    {message_key::kNotInstalled, "the not-installed dialog shows no text"},
    {message_key::kRunning, "the box for a running Orvexa shows no text"},
    {message_key::kVersionError, "the box for a version out of range is empty"},
    {message_key::kUpdateStart, "the log's start line is empty"},
    {message_key::kUpdateFile, "the log's line for each file is empty"},
    {message_key::kInstallSuccess, "the success dialog repeats the start line's text"},
    {message_key::kUpdateComplete, "the log's completion line repeats the success dialog's text"},
    {message_key::kDownloadCaption, "the Download button has no caption"},
    {message_key::kDownloadLink, "the Download button opens nothing"},
    {message_key::kHelpCaption, "the Help button has no caption"},
    {message_key::kHelpLink, "the Help button opens nothing"},
};

// The texts that are printf formats of log lines: one "%s" at most.
constexpr const char* kLogTextKeys[] = {message_key::kUpdateStart, message_key::kUpdateFile,
                                        message_key::kUpdateComplete};
