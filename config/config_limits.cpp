#include "config/config_limits.h"

#include <cstring>

#include "tinyxml.h"

namespace {

bool IsNameStart(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

}  // namespace

ConfigLimitFault CheckConfigLimits(const std::string& text, const ConfigLimits& limits,
                                   size_t* line) {
    size_t end = std::strlen(text.c_str());  // the parser stops at a NUL
    size_t currentLine = 1;
    auto fail = [&](ConfigLimitFault fault) {
        if (line != nullptr) *line = currentLine;
        return fault;
    };
    if (end > limits.maxBytes) return fail(ConfigLimitFault::kTooLarge);
    // Moves `i` past `terminator`, counting lines; to the end when missing.
    auto skipPast = [&](size_t& i, const char* terminator) {
        size_t found = text.find(terminator, i);
        size_t stop =
            found == std::string::npos || found >= end ? end : found + std::strlen(terminator);
        for (; i < stop; ++i) {
            if (text[i] == '\n') ++currentLine;
        }
    };
    size_t depth = 0;
    for (size_t i = 0; i < end;) {
        char c = text[i];
        if (c == '\n') ++currentLine;
        if (c != '<') {
            ++i;
            continue;
        }
        if (text.compare(i, 4, "<!--") == 0) {
            skipPast(i, "-->");
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            skipPast(i, "]]>");
        } else if (i + 1 < end && (text[i + 1] == '!' || text[i + 1] == '?')) {
            skipPast(i, ">");
        } else if (i + 1 < end && text[i + 1] == '/') {
            if (depth > 0) --depth;
            skipPast(i, ">");
        } else if (i + 1 < end && IsNameStart(static_cast<unsigned char>(text[i + 1]))) {
            // A start tag: count its attributes up to its end, quotes included.
            size_t attributes = 0;
            bool selfClosing = false;
            for (++i; i < end && text[i] != '>'; ++i) {
                char t = text[i];
                if (t == '\n') ++currentLine;
                if (t == '=') {
                    if (++attributes > limits.maxAttributesPerElement) {
                        return fail(ConfigLimitFault::kTooManyAttributes);
                    }
                } else if (t == '"' || t == '\'') {
                    for (++i; i < end && text[i] != t; ++i) {
                        if (text[i] == '\n') ++currentLine;
                    }
                    if (i >= end) break;
                }
                selfClosing = t == '/';
            }
            if (!selfClosing && ++depth > limits.maxDepth) return fail(ConfigLimitFault::kTooDeep);
        } else {
            ++i;
        }
    }
    return ConfigLimitFault::kNone;
}

bool ParseConfigText(const std::string& text, TiXmlDocument& document, ConfigLimitFault* fault,
                     const ConfigLimits& limits) {
    ConfigLimitFault found = CheckConfigLimits(text, limits);
    if (fault != nullptr) *fault = found;
    if (found != ConfigLimitFault::kNone) return false;
    // Line ends as TinyXML's LoadFile makes them: CR LF and a lone CR become LF.
    std::string normalised;
    normalised.reserve(text.size());
    for (const char* p = text.c_str(); *p != '\0'; ++p) {
        if (*p == '\r') {
            normalised += '\n';
            if (p[1] == '\n') ++p;
        } else {
            normalised += *p;
        }
    }
    // TinyXML steps over a UTF-8 lead byte's whole length before it looks
    // at the bytes, so a lead byte at the end takes it past the terminator;
    // the padding keeps every such step inside the buffer and on a NUL.
    normalised.append(8, '\0');
    document.Clear();
    document.Parse(normalised.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !document.Error();
}
