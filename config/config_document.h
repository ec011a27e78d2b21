// Reading OVConfig.xml's version range and message table out of a parsed
// document. Pure logic over TinyXML; built natively and for Windows.
#pragma once

#include <string>
#include <unordered_map>

class TiXmlDocument;
class TiXmlNode;

// Keys compare exactly, byte for byte.
using MessageTable = std::unordered_map<std::string, std::string>;
constexpr size_t kMessageTableBuckets = 17;

// Element names of the configuration compare without regard to ASCII case
// (platform/text_rules.h).
bool ElementNamed(const TiXmlNode* node, const char* name);

// Defined in platform/text_rules.cpp, with the other case-blind rules; also
// declared here only for the files of install/ that still find it through
// this header (install_journal.cpp, journal_files_win.cpp). Once they
// include platform/text_rules.h themselves, this declaration goes.
bool EqualIgnoringCase(const char* a, const char* b);

// Takes the last Version element's bounds and every attribute of every Message
// element inside a Messages element among the root's children. True when a
// root, a Version element and at least one message were found.
bool ReadConfigDocument(const TiXmlDocument& document, std::string& minVersion,
                        std::string& maxVersion, MessageTable& messages);
