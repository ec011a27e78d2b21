// libFuzzer target: expanding any configured text with any argument stays
// inside the buffer, terminates it, and reads no argument that was not passed.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "log/log_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('\0');
    std::string text = input.substr(0, cut);
    std::string argument = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    argument = argument.c_str();
    size_t capacity = 1 + (size % kLogMessageSize);
    char* out = static_cast<char*>(std::malloc(capacity));
    ExpandConfiguredText(out, capacity, text.c_str(), argument.c_str());
    if (std::strlen(out) >= capacity) std::abort();
    std::free(out);
    return 0;
}
