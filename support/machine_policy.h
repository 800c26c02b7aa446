// Switches an administrator sets for the whole machine, as DWORD values under
// HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Corvantis\Sentrel. A standard user
// cannot write there, so these are read from that key alone, never from the
// user's hive. An absent, unreadable or non-DWORD value is off.
#pragma once

namespace sentrel {

inline constexpr const char* kMachinePolicyKeyPath = "SOFTWARE\\Policies\\Corvantis\\Sentrel";

// The controller reads and writes only the HKEY_LOCAL_MACHINE settings key.
inline constexpr const char* kMachineSettingsOnlyPolicy = "MachineSettingsOnly";
// The agent refuses what it got no answer for, and ignores a controller
// class registered in the user's hive.
inline constexpr const char* kFailClosedPolicy = "FailClosed";

// Whether the policy value `name` is a DWORD other than 0.
bool MachinePolicyOn(const char* name) noexcept;

}  // namespace sentrel
