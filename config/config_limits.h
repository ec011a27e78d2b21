// Limits that OVConfig.xml must keep before TinyXML sees it. TinyXML's parser
// recurses once per nested element (thousands of levels overflow the stack)
// and checks each new attribute against all earlier ones of its element
// (time grows with their square). No real package comes near these limits.
#pragma once

#include <cstddef>
#include <string>

class TiXmlDocument;

struct ConfigLimits {
    size_t maxBytes;
    size_t maxDepth;
    size_t maxAttributesPerElement;
};

constexpr ConfigLimits kConfigLimits = {1024 * 1024, 64, 1024};

enum class ConfigLimitFault { kNone, kTooLarge, kTooDeep, kTooManyAttributes };

// One linear pass over the file's bytes (as far as the first NUL, where the
// parser stops too). Counts conservatively: every start tag that is not
// self-closing opens a level and every "=" inside a start tag is an
// attribute, so no input the parser accepts goes over a limit unseen.
// `line` gets the 1-based line where the first limit was passed.
ConfigLimitFault CheckConfigLimits(const std::string& text, const ConfigLimits& limits,
                                   size_t* line = nullptr);

// Parses OVConfig.xml's bytes as TinyXML's LoadFile would (line ends made LF,
// the text ended at the first NUL), after CheckConfigLimits. False when a
// limit is passed (`fault` says which) or the parser reports an error.
bool ParseConfigText(const std::string& text, TiXmlDocument& document,
                     ConfigLimitFault* fault = nullptr, const ConfigLimits& limits = kConfigLimits);
