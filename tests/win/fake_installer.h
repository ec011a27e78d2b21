// A stand-in for the two Windows Installer queries: exactly one product is
// registered, and it answers the properties a test puts in the table.
#pragma once

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "product/installed_product.h"

namespace testing_support {

struct OneProductInstaller {
    // Property name to value; a property not in the table answers 1605
    // (ERROR_UNKNOWN_PRODUCT), as the installer does for a missing one.
    static inline std::map<std::string, std::string> properties;

    static unsigned Enum(const char*, unsigned long, unsigned long index, char* code) {
        if (index > 0) return 259;
        std::strcpy(code, "{11111111-2222-3333-4444-555555555555}");
        return 0;
    }
    static unsigned Info(const char*, const char* property, char* value, unsigned long* length) {
        auto found = properties.find(property);
        if (found == properties.end()) return 1605;
        std::snprintf(value, *length, "%s", found->second.c_str());
        return 0;
    }
    static const InstallerQueries& Queries() {
        static const InstallerQueries queries = {&Enum, &Info};
        return queries;
    }
};

}  // namespace testing_support
