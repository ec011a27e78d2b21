// libFuzzer target: any byte string parsed as the program parses OVConfig.xml
// (limits first, then TinyXML on a padded buffer) and read as a
// configuration must neither crash nor leak.
#include <cstdint>
#include <string>

#include "config/config_document.h"
#include "config/config_limits.h"
#include "tinyxml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TiXmlDocument document;
    ParseConfigText(text, document);
    std::string minVersion;
    std::string maxVersion;
    MessageTable messages;
    ReadConfigDocument(document, minVersion, maxVersion, messages);
    return 0;
}
