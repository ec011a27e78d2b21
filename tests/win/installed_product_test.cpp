// The product probe against Wine's real Windows Installer: packages built by
// the fixture builder are installed with msiexec and removed again.
#include "product/installed_product.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "fake_installer.h"
#include "test_support.h"

namespace {

using testing_support::FixtureFolder;
using testing_support::RunAndWait;
using testing_support::TempFolder;

std::string Msi(const char* name) { return FixtureFolder() + "\\" + name; }

// Installs packages for one test and removes all of them afterwards (Wine
// drops the whole upgrade-code registration when one of two related products
// is removed, so they always go together).
class Installation {
public:
    explicit Installation(std::vector<std::string> packages) : packages_(std::move(packages)) {
        for (const std::string& package : packages_) {
            installed_.push_back(RunAndWait("msiexec /i \"" + package + "\" /qn") == 0);
        }
    }
    ~Installation() {
        for (size_t i = 0; i < packages_.size(); ++i) {
            if (installed_[i]) RunAndWait("msiexec /x \"" + packages_[i] + "\" /qn");
        }
    }
    bool AllInstalled() const {
        for (bool ok : installed_) {
            if (!ok) return false;
        }
        return true;
    }

private:
    std::vector<std::string> packages_;
    std::vector<bool> installed_;
};

std::string ProgramFilesX86() {
    char path[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableA("ProgramFiles(x86)", path, MAX_PATH);
    return std::string(path, length);
}

TEST(InstalledProduct, NothingRegistered) {
    InstalledProduct product;
    EXPECT_EQ(product.found, 0);
    std::string text = "untouched";
    EXPECT_FALSE(product.GetVersion(text));
    EXPECT_FALSE(product.GetInstallLocation(text));
    EXPECT_FALSE(product.GetProductId("C:\\", text));
    EXPECT_EQ(text, "untouched");
}

TEST(InstalledProduct, OneInstallationFoundWithItsProperties) {
    Installation installation({Msi("orvexa-1.6.12-a.msi")});
    ASSERT_TRUE(installation.AllInstalled());
    InstalledProduct product;
    ASSERT_EQ(product.found, 1);
    EXPECT_EQ(std::string(product.productCode).size(), 38u);
    EXPECT_EQ(product.productCode[0], '{');

    std::string version;
    ASSERT_TRUE(product.GetVersion(version));
    EXPECT_EQ(version, "1.6.00.12");

    std::string location;
    ASSERT_TRUE(product.GetInstallLocation(location));
    EXPECT_EQ(location, ProgramFilesX86() + "\\OrvexaA\\");

    std::string id;
    ASSERT_TRUE(product.GetProductId(location, id));
    EXPECT_EQ(id, "123456");
}

TEST(InstalledProduct, ProductIdFromTheSettingsFile) {
    Installation installation({Msi("orvexa-1.6.12-a.msi")});
    ASSERT_TRUE(installation.AllInstalled());
    InstalledProduct product;
    ASSERT_EQ(product.found, 1);
    std::string settings = ProgramFilesX86() + "\\OrvexaA\\RAZoro.ini";
    struct Case {
        const char* name;
        const char* content;  // null: file removed
        bool ok;
        const char* id;
    } cases[] = {
        {"present", "[Other]\r\nProductID=1\r\n[Main]\r\nProductID = 00ab12 \r\n", true, "00ab12"},
        {"missing key", "[Main]\r\nProduct=1\r\n", false, ""},
        {"empty value", "[Main]\r\nProductID=\r\n", false, ""},
        {"key in another section", "[main2]\r\nProductID=5\r\n", false, ""},
        {"missing file", nullptr, false, ""},
    };
    for (const Case& c : cases) {
        ::DeleteFileA(settings.c_str());
        if (c.content != nullptr) testing_support::WriteFileBytes(settings, c.content);
        std::string id = "";
        EXPECT_EQ(product.GetProductId(ProgramFilesX86() + "\\OrvexaA\\", id), c.ok) << c.name;
        EXPECT_EQ(id, c.id) << c.name;
    }
}

TEST(InstalledProduct, LocationWithoutTrailingBackslashIsKept) {
    Installation installation({Msi("orvexa-plain.msi")});
    ASSERT_TRUE(installation.AllInstalled());
    InstalledProduct product;
    ASSERT_EQ(product.found, 1);
    std::string location;
    ASSERT_TRUE(product.GetInstallLocation(location));
    EXPECT_EQ(location, ProgramFilesX86() + "\\OrvexaPlain");
}

TEST(InstalledProduct, TwoInstallationsAreNotFound) {
    Installation installation({Msi("orvexa-1.6.12-a.msi"), Msi("orvexa-1.6.12-b.msi")});
    ASSERT_TRUE(installation.AllInstalled());
    InstalledProduct product;
    EXPECT_EQ(product.found, 0);
    std::string text = "untouched";
    EXPECT_FALSE(product.GetInstallLocation(text));
    EXPECT_EQ(text, "untouched");
}

TEST(InstalledProduct, IsRunningMatchesTheFileNameInAnyCase) {
    TempFolder folder;
    std::string standin = FixtureFolder() + "\\orvexa_standin.exe";
    struct Case {
        const char* name;
        int running;
    } cases[] = {
        {"Orvexa.exe", 1},
        {"ORVEXA.EXE", 1},
        {"Orvexa.exe.old", 0},
        {"OrvexaX.exe", 0},
    };
    InstalledProduct product;
    EXPECT_EQ(product.IsRunning(), 0);
    for (const Case& c : cases) {
        std::string copy = folder / c.name;
        ASSERT_TRUE(::CopyFileA(standin.c_str(), copy.c_str(), FALSE)) << c.name;
        testing_support::ChildProcess process(copy);
        ASSERT_TRUE(process.Started()) << c.name << " (error " << process.StartError() << ")";
        EXPECT_EQ(product.IsRunning(), c.running) << c.name;
    }
    EXPECT_EQ(product.IsRunning(), 0);
}

// The enumeration rule, with answers that Wine's installer can't be made to
// give (an error at index 1).
struct ScriptedInstaller {
    static std::vector<unsigned> answers;
    static unsigned calls;
    static unsigned Enum(const char*, unsigned long, unsigned long index, char* code) {
        ++calls;
        unsigned answer = index < answers.size() ? answers[index] : 259;
        if (answer == 0) std::snprintf(code, 39, "{00000000-0000-0000-0000-%012lu}", index);
        return answer;
    }
    static unsigned Info(const char*, const char*, char*, unsigned long*) {
        ADD_FAILURE() << "asked for a property without a product";
        return 1605;
    }
};
std::vector<unsigned> ScriptedInstaller::answers;
unsigned ScriptedInstaller::calls = 0;

TEST(InstalledProduct, ExactlyOneRule) {
    const InstallerQueries queries = {&ScriptedInstaller::Enum, &ScriptedInstaller::Info};
    struct Case {
        std::vector<unsigned> answers;
        int found;
        unsigned calls;
    } cases[] = {
        {{259}, 0, 1}, {{0, 259}, 1, 2}, {{0, 0, 259}, 0, 3}, {{0, 1610}, 0, 2}, {{1610}, 0, 1},
    };
    for (const Case& c : cases) {
        ScriptedInstaller::answers = c.answers;
        ScriptedInstaller::calls = 0;
        InstalledProduct product(queries);
        EXPECT_EQ(product.found, c.found);
        EXPECT_EQ(ScriptedInstaller::calls, c.calls);
        if (c.found == 0) {
            std::string text;
            EXPECT_FALSE(product.GetVersion(text));
            EXPECT_FALSE(product.GetInstallLocation(text));
            EXPECT_FALSE(product.GetProductId("C:\\", text));
        }
    }
}

TEST(InstalledProduct, VersionGetsFourFieldsFromThree) {
    struct Case {
        const char* recorded;
        bool ok;
        const char* version;
    } cases[] = {
        {"3.1.284", true, "3.1.00.284"},
        {"3.1.0.284", true, "3.1.0.284"},
        {"3.1", true, "3.1"},
        {" 3 . 1 . 284 ", true, "3.1.00.284"},
        {nullptr, false, "untouched"},
    };
    for (const Case& c : cases) {
        auto& properties = testing_support::OneProductInstaller::properties;
        properties.clear();
        if (c.recorded != nullptr) properties["VersionString"] = c.recorded;
        InstalledProduct product(testing_support::OneProductInstaller::Queries());
        ASSERT_EQ(product.found, 1);
        std::string version = "untouched";
        EXPECT_EQ(product.GetVersion(version), c.ok);
        EXPECT_EQ(version, c.version);
    }
}

}  // namespace
