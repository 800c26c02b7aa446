// Keeps the agent's log within the machine's limit: when it is larger than
// the policy "LogMaxKB" (support/machine_policy.h), it becomes
// Sentrel.log.1, replacing an older one, and a fresh log takes its place.
//
// The log's descriptor lets users append and nothing more, so only a
// controller with administrator rights (or the elevated registration) can
// rename it; for a standard user's controller the rotation fails at its
// first step and changes nothing.
#pragma once

#include <cstdint>

namespace sentrel {

enum class LogRotation {
    NotNeeded,  // no limit, no plain log file, or a log within the limit
    Rotated,
    Failed,     // nothing changed, or (at the last step only) the full log kept as Sentrel.log.old
};

// Rotates when the log is larger than `limitBytes` (0: never).
LogRotation RotateLog(uint64_t limitBytes) noexcept;

// Rotates by the machine's "LogMaxKB".
LogRotation RotateLogByPolicy() noexcept;

}  // namespace sentrel
