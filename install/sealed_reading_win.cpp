#include "install/sealed_reading_win.h"

#include "log/upgrade_log.h"
#include "platform/file_system_win.h"
#include "platform/handles_win.h"

bool SealedReading::Begin(const std::string& source) {
    check_.reset();
    logged_ = false;
    name_ = ManifestNameOf(source, package_.sourceBase);
    const SealedFile* expected = package_.Find(source);
    if (expected == nullptr) {
        platform::SetLastErrorCode(ERROR_INVALID_DATA);
        UpgradeLog::Write(kSealUnlistedLine, name_.c_str());
        logged_ = true;
        return false;
    }
    check_.emplace(*expected);
    return true;
}

bool SealedReading::Chunk(const char* data, unsigned long bytes) {
    bool sealedSoFar = check_ && (data != nullptr ? check_->Add(data, bytes) : check_->Matches());
    if (sealedSoFar) return true;
    platform::SetLastErrorCode(ERROR_INVALID_DATA);
    UpgradeLog::Write(kSealChangedLine, name_.c_str());
    logged_ = true;
    return false;
}

void SealedReading::Failed(const std::string& source, bool logUnreadable) {
    DWORD code = ::GetLastError();
    if (logged_) return;
    // The code may be another file's (a journal folder gone, for the copy);
    // only a source that is not there is the package's fault.
    unsigned long attributes = 0;
    bool sourceMissing = platform::IsNotFoundCode(code) &&
                         !platform::GetFileAttributesAt(source, attributes) &&
                         platform::IsNotFoundCode(::GetLastError());
    platform::SetLastErrorCode(code);
    if (sourceMissing) {
        // A sealed file that is not there does not match the seal either:
        // the package is not the one the vendor sealed.
        UpgradeLog::Write(kSealMissingLine, name_.c_str());
        platform::SetLastErrorCode(ERROR_INVALID_DATA);
    } else if (logUnreadable) {
        UpgradeLog::Write(kSealUnreadableLine, name_.c_str());
    }
    logged_ = true;
}
