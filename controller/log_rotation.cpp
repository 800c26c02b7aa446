#include "controller/log_rotation.h"

#include "controller/log_file.h"
#include "support/log_location.h"
#include "support/machine_policy.h"
#include "support/plain_file.h"

#include <windows.h>

namespace sentrel {
namespace {

// A browser appending at that moment holds the log open, and a name with
// open handles cannot be replaced: a few short tries.
constexpr int kReplaceAttempts = 3;
constexpr DWORD kReplacePauseMs = 10;

bool ReplaceName(const wchar_t* from, const wchar_t* to) {
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING)) return true;
        if (attempt == kReplaceAttempts) return false;
        Sleep(kReplacePauseMs);
    }
}

}  // namespace

LogRotation RotateLog(uint64_t limitBytes) noexcept {
    using qz_support::NameHolds;
    uint64_t size = 0;
    if (limitBytes == 0 || qz_support::WhatNameHolds(kLogPath, &size) != NameHolds::PlainFile || size <= limitBytes)
        return LogRotation::NotNeeded;
    // Moving onto a folder fails anyway; a link planted as the older log is
    // not replaced either.
    if (qz_support::WhatNameHolds(kRotatedLogPath) == NameHolds::Other) return LogRotation::Failed;

    // The log's name never goes missing, not even for a moment in which a
    // user could make a folder of that name and so stop the log: the full
    // log first gets a second name, then the fresh log takes over its name
    // in one step, then the full log takes the older one's.
    if (FAILED(CreateLogFile(kFreshLogPath))) return LogRotation::Failed;
    if (!CreateHardLinkW(kLeavingLogPath, kLogPath, nullptr)) {
        DeleteFileW(kFreshLogPath);
        return LogRotation::Failed;
    }
    if (!ReplaceName(kFreshLogPath, kLogPath)) {
        DeleteFileW(kLeavingLogPath);  // only the second name: the log keeps its own
        DeleteFileW(kFreshLogPath);
        return LogRotation::Failed;
    }
    return ReplaceName(kLeavingLogPath, kRotatedLogPath) ? LogRotation::Rotated : LogRotation::Failed;
}

LogRotation RotateLogByPolicy() noexcept {
    const std::optional<DWORD> kilobytes = MachinePolicyValue(kLogMaxKBPolicy);
    return RotateLog(kilobytes ? static_cast<uint64_t>(*kilobytes) * 1024 : 0);
}

}  // namespace sentrel
