#include "ovpack/package_seal_tool.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

#include "config/config_limits.h"
#include "config/package_names.h"
#include "config/package_seal.h"
#include "install/install_plan.h"
#include "ovpack/pe_image.h"
#include "platform/text_rules.h"
#include "tinyxml.h"

namespace fs = std::filesystem;

namespace {

fs::path PathIn(const std::string& folder, const std::string& relative) {
    std::string native = relative;
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return fs::path(folder) / fs::path(native);
}

bool ReadFileBytes(const fs::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Hashes the file as the program will read it.
bool MeasureFile(const fs::path& path, const std::string& name, SealedFile& file) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    Sha256 hash;
    std::vector<char> buffer(256 * 1024);
    file.name = name;
    file.size = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        std::streamsize got = in.gcount();
        if (got <= 0) break;
        hash.Update(buffer.data(), static_cast<size_t>(got));
        file.size += static_cast<unsigned long long>(got);
    }
    if (in.bad()) return false;
    file.digest = hash.Finish();
    return true;
}

// Writes `bytes` to `path` through a new file renamed over it: an
// interrupted write leaves the old file whole.
bool ReplaceFileBytes(const fs::path& path, const std::string& bytes) {
    fs::path fresh = path;
    fresh += ".ovpack-new";
    {
        std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            std::error_code ignored;
            fs::remove(fresh, ignored);
            return false;
        }
    }
    std::error_code error;
    fs::rename(fresh, path, error);
    if (error) fs::remove(fresh, error);
    return !error;
}

// A copy the configuration names, whatever product it is for.
struct NamedCopy {
    int line;
    std::string name;  // as in the manifest
};

// Every copy of every entry: a sealed package covers all installations.
bool NamedCopies(const std::string& configText, std::vector<NamedCopy>& copies) {
    TiXmlDocument document;
    if (!ParseConfigText(configText, document)) return false;
    std::string installBase;
    MakePlanBase(CheckOptions().installDir, installBase);
    for (const TiXmlElement* entry : ProductEntries(document, std::string())) {
        std::vector<PlanStep> plan;
        PlanEntry(*entry, installBase, kNominalPackageFolder, plan, nullptr);
        for (const PlanStep& step : plan) {
            if (step.kind != PlanStep::Kind::kCopyFile) continue;
            copies.push_back({step.line, ManifestNameOf(step.source, kNominalPackageFolder)});
        }
    }
    return true;
}

// The program's bytes and where its seal lies in them.
struct ProgramImage {
    std::string bytes;
    PeImage image;
    PeSection seal;
};

// Empty when read; otherwise why not.
std::string ReadProgram(const fs::path& path, ProgramImage& program) {
    if (!ReadFileBytes(path, program.bytes)) return "RIZezuvu.exe can't be read";
    if (!program.image.Parse(program.bytes)) return "RIZezuvu.exe is not a Windows program";
    if (!program.image.FindSection(program.bytes, kSealSectionName, program.seal) ||
        program.seal.fileSize < kSealBytes || program.seal.virtualSize < kSealBytes) {
        return "RIZezuvu.exe has no seal section (it was built before packages could be sealed)";
    }
    return std::string();
}

}  // namespace

std::string FindPackageFile(const std::vector<std::string>& files, const std::string& name) {
    std::string wanted = FoldedName(name);
    for (const std::string& file : files) {
        if (FoldedName(file) == wanted) return file;
    }
    return std::string();
}

int SealPackage(const std::string& packageFolder, const std::vector<std::string>& files,
                std::string& message) {
    std::string configFile = FindPackageFile(files, kConfigFileName);
    std::string configText;
    if (configFile.empty() || !ReadFileBytes(PathIn(packageFolder, configFile), configText)) {
        message = "the package has no OVConfig.xml that can be read; nothing sealed";
        return 2;
    }
    std::vector<NamedCopy> copies;
    if (!NamedCopies(configText, copies)) {
        message = "OVConfig.xml does not load (see ovpack check); nothing sealed";
        return 2;
    }
    std::string programFile = FindPackageFile(files, kProgramFileName);
    if (programFile.empty()) {
        message = "the package has no RIZezuvu.exe to seal; nothing sealed";
        return 2;
    }
    fs::path programPath = PathIn(packageFolder, programFile);
    ProgramImage program;
    std::string fault = ReadProgram(programPath, program);
    if (!fault.empty()) {
        message = fault + "; nothing sealed";
        return 2;
    }
    if (program.image.IsSigned()) {
        message =
            "RIZezuvu.exe is already signed: a seal written now would break the signature. Seal "
            "the unsigned program, then sign it; nothing sealed";
        return 2;
    }

    PackageManifest manifest;
    for (const NamedCopy& copy : copies) {
        if (manifest.Find(copy.name) != nullptr) continue;
        std::string file = FindPackageFile(files, copy.name);
        SealedFile sealed;
        if (file.empty() || !MeasureFile(PathIn(packageFolder, file), copy.name, sealed)) {
            message = std::string(kConfigFileName) + ":" + std::to_string(copy.line) + " names " +
                      copy.name + ", which the package " +
                      (file.empty() ? "does not hold" : "can't read") + "; nothing sealed";
            return 2;
        }
        manifest.Add(sealed);
    }
    std::string manifestText = manifest.Format();
    std::string manifestFile = FindPackageFile(files, kManifestFileName);
    if (manifestFile.empty()) manifestFile = kManifestFileName;

    PackageSeal seal;
    seal.config = Sha256::Of(configText);
    seal.manifest = Sha256::Of(manifestText);
    WriteSeal(seal, reinterpret_cast<unsigned char*>(&program.bytes[program.seal.fileOffset]));
    program.image.UpdateChecksum(program.bytes);
    // The manifest first: a program sealed for a manifest that was never
    // written would refuse every run.
    if (!ReplaceFileBytes(PathIn(packageFolder, manifestFile), manifestText) ||
        !ReplaceFileBytes(programPath, program.bytes)) {
        message = "can't write " + manifestFile + " or " + programFile + " in " + packageFolder;
        return 2;
    }
    message = "sealed " + std::to_string(manifest.Files().size()) + " files (" + manifestFile +
              ") and OVConfig.xml into " + programFile + "; sign it now (tools/sign.sh)";
    return 0;
}

void CheckPackageSeal(const std::string& packageFolder, const PackageContents& package,
                      CheckReport& report) {
    auto error = [&report](int line, const std::string& text) {
        report.findings.push_back({Finding::Severity::kError, line, text});
    };
    std::string programFile = FindPackageFile(package.files, kProgramFileName);
    if (programFile.empty()) return;
    ProgramImage program;
    std::string fault = ReadProgram(PathIn(packageFolder, programFile), program);
    if (!fault.empty()) {
        report.findings.push_back({Finding::Severity::kWarning, 0, fault});
        return;
    }
    PackageSeal seal;
    auto section = reinterpret_cast<const unsigned char*>(&program.bytes[program.seal.fileOffset]);
    switch (ReadSeal(section, seal)) {
        case SealState::kUnsealed:
            report.findings.push_back(
                {Finding::Severity::kWarning, 0,
                 "the package is not sealed: anything may change its files before they are "
                 "installed, and a program built for release refuses to run (ovpack seal, "
                 "then sign)"});
            return;
        case SealState::kDamaged:
            error(0, "RIZezuvu.exe's seal section holds no seal: the program refuses to run");
            return;
        case SealState::kSealed:
            break;
    }
    const std::string sealedSince = " has changed since the package was sealed";
    if (!package.configFound || Sha256::Of(package.configText) != seal.config) {
        error(0, std::string(kConfigFileName) + sealedSince);
    }
    std::string manifestFile = FindPackageFile(package.files, kManifestFileName);
    std::string manifestText;
    PackageManifest manifest;
    if (manifestFile.empty() || !ReadFileBytes(PathIn(packageFolder, manifestFile), manifestText)) {
        error(0, std::string(kManifestFileName) + " is missing from a sealed package");
        return;
    }
    if (Sha256::Of(manifestText) != seal.manifest || !manifest.Parse(manifestText)) {
        error(0, std::string(kManifestFileName) + sealedSince);
        return;
    }
    for (const SealedFile& sealed : manifest.Files()) {
        std::string file = FindPackageFile(package.files, sealed.name);
        SealedFile found;
        if (file.empty()) {
            error(0, sealed.name + " is missing from a sealed package");
        } else if (!MeasureFile(PathIn(packageFolder, file), sealed.name, found) ||
                   found.size != sealed.size || found.digest != sealed.digest) {
            error(0, sealed.name + sealedSince);
        }
    }
    std::vector<NamedCopy> copies;
    if (!package.configFound || !NamedCopies(package.configText, copies)) return;
    std::set<std::string> reported;
    for (const NamedCopy& copy : copies) {
        if (manifest.Find(copy.name) == nullptr && reported.insert(FoldedName(copy.name)).second)
            error(copy.line, copy.name + " is not in the seal's manifest: the program refuses it");
    }
}
