#include "product/installed_product.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/handles_win.h"
#include "platform/path_rules.h"
#include "platform/path_services_win.h"
#include "platform/system_library_win.h"
#include "platform/text_rules.h"
#include "product/version_fields.h"
#include "platform/code_page.h"
#include "platform/ini_file.h"

// From product/upgrade_code.txt, which the fixture packages read too.
const char kMainProductUpgradeCode[] = RIZEZUVU_UPGRADE_CODE;

namespace {

constexpr unsigned kNoMoreItems = ERROR_NO_MORE_ITEMS;  // 259
constexpr DWORD kTextBufferSize = 260;
constexpr char kRunningProcessName[] = "Orvexa.exe";
constexpr char kSettingsFileName[] = "RAZoro.ini";

// msi.dll is not a KnownDLL: linked by name it would be looked for in the
// package folder first. It is loaded from System32 when first needed.
struct WindowsInstallerLibrary {
    using EnumFunction = UINT(WINAPI*)(LPCSTR, DWORD, DWORD, LPSTR);
    using InfoFunction = UINT(WINAPI*)(LPCSTR, LPCSTR, LPSTR, LPDWORD);

    WindowsInstallerLibrary() : module(platform::LoadSystemLibrary("msi.dll")) {
        enumRelated = reinterpret_cast<EnumFunction>(
            reinterpret_cast<void*>(platform::FindProcedure(module, "MsiEnumRelatedProductsA")));
        productInfo = reinterpret_cast<InfoFunction>(
            reinterpret_cast<void*>(platform::FindProcedure(module, "MsiGetProductInfoA")));
        if (enumRelated == nullptr || productInfo == nullptr) {
            loadError = ::GetLastError();
            if (loadError == 0) loadError = ERROR_PROC_NOT_FOUND;
        }
    }

    platform::ModuleHandle module;
    EnumFunction enumRelated = nullptr;
    InfoFunction productInfo = nullptr;
    DWORD loadError = 0;
};

const WindowsInstallerLibrary& Installer() {
    static const WindowsInstallerLibrary library;
    return library;
}

unsigned EnumRelated(const char* upgradeCode, unsigned long reserved, unsigned long index,
                     char* productCode) {
    if (Installer().loadError != 0) return Installer().loadError;
    return Installer().enumRelated(upgradeCode, reserved, index, productCode);
}

unsigned ProductInfo(const char* productCode, const char* property, char* value,
                     unsigned long* length) {
    if (Installer().loadError != 0) return Installer().loadError;
    DWORD size = *length;
    unsigned result = Installer().productInfo(productCode, property, value, &size);
    *length = size;
    return result;
}

}  // namespace

bool WindowsInstallerAvailable() {
    if (Installer().loadError == 0) return true;
    platform::SetLastErrorCode(Installer().loadError);
    return false;
}

const InstallerQueries& WindowsInstallerQueries() {
    static const InstallerQueries queries = {&EnumRelated, &ProductInfo};
    return queries;
}

InstalledProduct::InstalledProduct(const InstallerQueries& queries)
    : productCode(), found(0), queries_(queries) {
    FindProduct();
}

void InstalledProduct::FindProduct() {
    for (unsigned long index = 0;; ++index) {
        unsigned result =
            queries_.enumRelatedProducts(kMainProductUpgradeCode, 0, index, productCode);
        if (result == 0) continue;
        found = (result == kNoMoreItems && index == 1) ? 1 : 0;
        return;
    }
}

bool InstalledProduct::QueryProperty(const char* property, std::string& out) const {
    char value[kTextBufferSize] = "";
    unsigned long length = kTextBufferSize;
    unsigned result = queries_.getProductInfo(productCode, property, value, &length);
    if (result != 0) {
        // The installer answers with its code instead of setting the last
        // error; a failure report must show this code, not a stale one.
        platform::SetLastErrorCode(result);
        return false;
    }
    value[kTextBufferSize - 1] = '\0';
    out = value;
    return true;
}

bool InstalledProduct::GetVersion(std::string& out) const {
    if (found == 0) return false;
    std::string value;
    if (!QueryProperty("VersionString", value)) return false;
    out = value;
    std::vector<std::string> fields;
    if (SplitFields(value, '.', fields, &platform::IsAnsiLeadByte) == 3) {
        char version[3 * kTextBufferSize];
        std::snprintf(version, sizeof version, "%s.%s.00.%s", fields[0].c_str(), fields[1].c_str(),
                      fields[2].c_str());
        out = version;
    }
    return true;
}

bool InstalledProduct::GetInstallLocation(std::string& out) const {
    if (found == 0) return false;
    return QueryProperty("InstallLocation", out);
}

int InstalledProduct::IsRunning() const {
    platform::KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) return 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.Get(), &entry); more;
         more = ::Process32Next(snapshot.Get(), &entry)) {
        // The file-name part alone (as PathStripPathA keeps it), with the
        // path rules every other last component goes by.
        std::string name = LastPathComponent(entry.szExeFile, &platform::IsAnsiLeadByte);
        if (EqualIgnoringCase(name.c_str(), kRunningProcessName)) return 1;
    }
    return 0;
}

bool InstalledProduct::GetProductId(const std::string& location, std::string& out) const {
    if (found == 0) return false;
    platform::PathBuffer settings;
    if (!platform::CombinePath(settings, location.c_str(), kSettingsFileName)) return false;
    char value[kTextBufferSize] = "";
    if (platform::ReadIniString(settings, "Main", "ProductID", "", value, kTextBufferSize) == 0) {
        // The reader reports a missing file or key as no text at all.
        platform::SetLastErrorCode(ERROR_INVALID_DATA);
        return false;
    }
    out = value;
    return true;
}
