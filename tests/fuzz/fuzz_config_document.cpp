// libFuzzer target: any byte string parsed by TinyXML and read as a
// configuration must neither crash nor leak.
#include <cstdint>
#include <string>

#include "config/config_document.h"
#include "tinyxml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    TiXmlDocument document;
    document.Parse(text.c_str());
    std::string minVersion;
    std::string maxVersion;
    MessageTable messages;
    ReadConfigDocument(document, minVersion, maxVersion, messages);
    return 0;
}
