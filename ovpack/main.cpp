// ovpack: the package checker for the people who build update packages.
//
//   ovpack check PACKAGE-FOLDER [--product-id ID] [--install-dir PATH] [--json]
//   ovpack init FOLDER
//   ovpack seal PACKAGE-FOLDER
//
// check reports every problem a package would cause on a user's machine
// (exit 0 clean, 1 warnings only, 2 errors); init writes the sample package;
// seal fixes the package's files into its RIZezuvu.exe before it is signed.
// Builds natively and as a Windows console program.
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "config/package_names.h"
#include "ovpack/package_check.h"
#include "ovpack/package_seal_tool.h"
#include "ovpack/sample_package.h"
#include "platform/path_rules.h"
#include "res/version.h"

namespace fs = std::filesystem;

namespace {

constexpr int kUsage = 64;

// The usage text: on standard output when asked for (--help), on standard
// error with status 64 for a command line not understood.
int Usage(std::FILE* to = stderr) {
    std::fputs(
        "usage: ovpack check PACKAGE-FOLDER [--product-id ID] [--install-dir PATH] [--codepage N]\n"
        "                    [--json]\n"
        "       ovpack init FOLDER\n"
        "       ovpack seal PACKAGE-FOLDER\n"
        "\n"
        "check  reports every problem the package would cause (exit 0 clean, 1 warnings,\n"
        "       2 errors). --product-id lists what an installation with that id gets;\n"
        "       --install-dir is the installation folder: a Windows path (C:\\...) sets the\n"
        "       folder the path lengths are checked for (default C:\\Program Files "
        "(x86)\\Orvexa\\),\n"
        "       a folder on this machine is a sample installation whose group folders\n"
        "       must exist; --codepage is the ANSI code page of the systems the package\n"
        "       is for (default 1252): a file name it can't hold is a warning; --json\n"
        "       writes one JSON object.\n"
        "       A sealed package that changed since is an error, an unsealed one a warning.\n"
        "init   writes the sample package into FOLDER (new or empty).\n"
        "seal   writes OVManifest.txt (size and SHA-256 of every file a File names) and\n"
        "       the SHA-256 of it and of OVConfig.xml into the package's RIZezuvu.exe,\n"
        "       which must not be signed yet: sign it after sealing. Exit 0 sealed,\n"
        "       2 refused (nothing written).\n"
        "\n"
        "ovpack --help | --version\n",
        to);
    return to == stdout ? 0 : kUsage;
}

// True when code page `codePage` can hold every character of the UTF-8
// `name`; false also when the code page is unknown here (`known` says so).
bool FitsCodePage(const std::string& name, int codePage, bool* known) {
#ifdef _WIN32
    *known = ::IsValidCodePage(static_cast<UINT>(codePage)) != FALSE;
    if (!*known) return false;
    int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(),
                                       static_cast<int>(name.size()), nullptr, 0);
    if (length <= 0) return name.empty();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), &wide[0], length);
    BOOL usedDefault = FALSE;
    // UTF-7 and UTF-8 take no default character; they hold everything.
    if (codePage == CP_UTF8 || codePage == CP_UTF7) return true;
    ::WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, wide.c_str(), length,
                          nullptr, 0, nullptr, &usedDefault);
    return usedDefault == FALSE;
#else
    iconv_t converter = iconv_open(("CP" + std::to_string(codePage)).c_str(), "UTF-8");
    *known = converter != reinterpret_cast<iconv_t>(-1);
    if (!*known) return false;
    std::string in = name;
    std::string out(in.size() * 4 + 16, '\0');
    char* from = &in[0];
    char* to = &out[0];
    size_t left = in.size();
    size_t room = out.size();
    bool fits = iconv(converter, &from, &left, &to, &room) != static_cast<size_t>(-1);
    iconv_close(converter);
    return fits;
#endif
}

bool IsWindowsPath(const std::string& path) {
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

// Every file (or, with `folders`, every folder) under `root`, relative, with
// backslashes; in the system's narrow encoding, or with `utf8` in UTF-8.
std::vector<std::string> List(const fs::path& root, bool folders, bool utf8 = false) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        if (folders ? !it->is_directory() : !it->is_regular_file()) continue;
        fs::path path = fs::relative(it->path(), root);
        names.push_back(WithBackslashes(utf8 ? path.generic_u8string() : path.generic_string()));
    }
    return names;
}

int Check(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return Usage();
    std::string packageFolder;
    CheckOptions options;
    bool json = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--json") {
            json = true;
        } else if (argument == "--codepage" && i + 1 < arguments.size()) {
            char* end = nullptr;
            long codePage = std::strtol(arguments[++i].c_str(), &end, 10);
            bool known = false;
            if (*end != '\0' || codePage <= 0 || codePage > 65535 ||
                (FitsCodePage("a", static_cast<int>(codePage), &known), !known)) {
                std::fprintf(stderr, "ovpack: no such code page here: %s\n", arguments[i].c_str());
                return kUsage;
            }
            options.codePage = static_cast<int>(codePage);
        } else if (argument == "--product-id" && i + 1 < arguments.size()) {
            options.productId = arguments[++i];
        } else if (argument == "--install-dir" && i + 1 < arguments.size()) {
            std::string dir = arguments[++i];
            std::error_code error;
            if (fs::is_directory(dir, error)) {
                options.haveSampleInstallation = true;
                options.sampleFolders = List(dir, true);
            }
            if (IsWindowsPath(dir)) options.installDir = dir;
            if (!options.haveSampleInstallation && !IsWindowsPath(dir)) {
                std::fprintf(stderr, "ovpack: no such folder: %s\n", dir.c_str());
                return kUsage;
            }
        } else if (!argument.empty() && argument[0] != '-' && packageFolder.empty()) {
            packageFolder = argument;
        } else {
            return Usage();
        }
    }
    std::error_code error;
    if (packageFolder.empty()) return Usage();
    if (!fs::is_directory(packageFolder, error)) {
        std::fprintf(stderr, "ovpack: no such folder: %s\n", packageFolder.c_str());
        return kUsage;
    }
    PackageContents package;
    package.files = List(packageFolder, false);
    for (const std::string& name : List(packageFolder, false, true)) {
        bool known = false;
        if (!FitsCodePage(name, options.codePage, &known))
            options.namesOutsideCodePage.push_back(name);
    }
    // The program opens OVConfig.xml by that name; on Windows any case matches.
    std::string configFile = FindPackageFile(package.files, kConfigFileName);
    if (!configFile.empty()) {
        std::ifstream in(fs::path(packageFolder) / configFile, std::ios::binary);
        package.configText.assign(std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>());
        package.configFound = !in.bad();
    }
    CheckReport report = CheckPackage(package, options);
    CheckPackageSeal(packageFolder, package, report);
    std::string out =
        json ? FormatReportJson(report, options, packageFolder) : FormatReportText(report, options);
    std::fputs(out.c_str(), stdout);
    return report.exitStatus();
}

int Seal(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1 || arguments[0].empty() || arguments[0][0] == '-') return Usage();
    std::error_code error;
    if (!fs::is_directory(arguments[0], error)) {
        std::fprintf(stderr, "ovpack: no such folder: %s\n", arguments[0].c_str());
        return kUsage;
    }
    std::string message;
    int status = SealPackage(arguments[0], List(arguments[0], false), message);
    std::fprintf(status == 0 ? stdout : stderr, "ovpack: %s\n", message.c_str());
    return status;
}

int Init(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) return Usage();
    fs::path folder = arguments[0];
    std::error_code error;
    if (fs::exists(folder, error) &&
        !(fs::is_directory(folder, error) && fs::is_empty(folder, error))) {
        std::fprintf(stderr, "ovpack: %s is not an empty folder; nothing written\n",
                     arguments[0].c_str());
        return 2;
    }
    for (const SampleFile& file : SamplePackageFiles()) {
        fs::path path = folder / fs::path(file.path);
        fs::create_directories(path.parent_path(), error);
        std::ofstream out(path, std::ios::binary);
        out.write(file.bytes.data(), static_cast<std::streamsize>(file.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "ovpack: can't write %s\n", path.string().c_str());
            return 2;
        }
    }
    std::printf("ovpack: sample package written to %s (add RIZezuvu.exe beside OVConfig.xml)\n",
                arguments[0].c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::vector<std::string> arguments(argv + 2, argv + argc);
    std::string command = argv[1];
    if (command == "--help" || command == "-h") return Usage(stdout);
    if (command == "--version") {
        std::printf("ovpack %s\n", kToolVersion);
        return 0;
    }
    try {
        if (command == "check") return Check(arguments);
        if (command == "init") return Init(arguments);
        if (command == "seal") return Seal(arguments);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "ovpack: %s\n", failure.what());
        return 2;
    }
    return Usage();
}
