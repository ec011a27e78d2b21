// libFuzzer target: splitting and comparing arbitrary version texts must never
// crash, and the comparison must be antisymmetric.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "product/version_fields.h"

namespace {
bool OddLeadByte(unsigned char c) { return c >= 0x81 && c <= 0x9F; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('|');
    std::string first = input.substr(0, cut);
    std::string second = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    std::vector<std::string> fields;
    SplitFields(first, '.', fields, &OddLeadByte);
    int forward = CompareVersions(first, second);
    int backward = CompareVersions(second, first);
    bool bothFourFields = true;
    for (const std::string* text : {&first, &second}) {
        std::vector<std::string> parts;
        bothFourFields = bothFourFields && SplitFields(*text, '.', parts) == 4;
    }
    if (bothFourFields && forward != -backward) std::abort();
    return 0;
}
