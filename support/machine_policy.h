// Switches an administrator sets for the whole machine, as DWORD values under
// HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Corvantis\Sentrel. A standard user
// cannot write there, so these are read from that key alone, never from the
// user's hive. An absent, unreadable or non-DWORD value is off.
#pragma once

#include <windows.h>

#include <optional>

namespace sentrel {

inline constexpr const char* kMachinePolicyKeyPath = "SOFTWARE\\Policies\\Corvantis\\Sentrel";

// The controller reads and writes only the HKEY_LOCAL_MACHINE settings key.
inline constexpr const char* kMachineSettingsOnlyPolicy = "MachineSettingsOnly";
// The agent refuses what it got no answer for, and ignores a controller
// class registered in the user's hive.
inline constexpr const char* kFailClosedPolicy = "FailClosed";

// The size in kilobytes beyond which the controller renames the agent's log
// aside at its start; absent or 0, the log is never renamed.
inline constexpr const char* kLogMaxKBPolicy = "LogMaxKB";

// Whether the policy value `name` is a DWORD other than 0.
bool MachinePolicyOn(const char* name) noexcept;

// The policy value `name` when it is a DWORD; nothing otherwise.
std::optional<DWORD> MachinePolicyValue(const char* name) noexcept;

}  // namespace sentrel
