// The installed Orvexa product as Windows Installer records it: found when
// exactly one installation is registered under the main upgrade code.
#pragma once

#include <string>

// The main product's upgrade code, shared by every Orvexa installation.
extern const char kMainProductUpgradeCode[];

// The two Windows Installer queries the probe makes. Production code uses
// msi.dll; tests of the content copy may answer them from a table.
struct InstallerQueries {
    // MsiEnumRelatedProductsA: 0 and the index-th product code, 259 past the end.
    unsigned (*enumRelatedProducts)(const char* upgradeCode, unsigned long reserved,
                                    unsigned long index, char* productCode);
    // MsiGetProductInfoA: 0 and the property value, or an error code.
    unsigned (*getProductInfo)(const char* productCode, const char* property, char* value,
                               unsigned long* length);
};
const InstallerQueries& WindowsInstallerQueries();
// Loads Windows Installer (msi.dll, from System32 only). False, with the
// system's code as the last error, when it or one of its functions is missing.
bool WindowsInstallerAvailable();

class InstalledProduct {
public:
    explicit InstalledProduct(const InstallerQueries& queries = WindowsInstallerQueries());

    // Enumerates the products related to the upgrade code; sets `found` to 1
    // only when exactly one is registered.
    void FindProduct();
    // major.minor.00.build for a three-field VersionString, other values as read.
    bool GetVersion(std::string& out) const;
    // InstallLocation exactly as recorded (an empty value is a success).
    bool GetInstallLocation(std::string& out) const;
    // 1 when a process whose file name is Orvexa.exe (any case) runs, else 0.
    int IsRunning() const;
    // The non-empty ProductID of section Main in RAZoro.ini of the
    // installation, whose folder `installLocation` is (GetInstallLocation's:
    // a run reads it once).
    bool GetProductId(const std::string& installLocation, std::string& out) const;

    char productCode[39];
    int found;

private:
    bool QueryProperty(const char* property, std::string& out) const;

    const InstallerQueries& queries_;
};
