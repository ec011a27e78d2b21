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

// Takes the last Version element's bounds and every attribute of every Message
// element inside a Messages element among the root's children. True when a
// root, a Version element and at least one message were found.
bool ReadConfigDocument(const TiXmlDocument& document, std::string& minVersion,
                        std::string& maxVersion, MessageTable& messages);
