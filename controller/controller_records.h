// The controller's own records in the event log (support/event_log.h): the
// lock switched on or off and how, the lock held at the start, the machine
// policies in force at the start.
#pragma once

#include <string_view>

namespace sentrel {

// How the lock came to be as it is: the tray's lock switch, "Exit Sentrel"
// (off until the next start or reload), a reload of the settings, the start.
enum class LockChange { Toggle, Exit, Reload, Start };

void RecordLockState(bool on, LockChange how) noexcept;

// The start holds the lock because the settings in `where` cannot be used.
void RecordSettingsUnusable(std::wstring_view where, std::wstring_view why) noexcept;

// The start holds the lock because only the machine's settings count and
// there are none yet; the first comes from `source`.
void RecordAwaitingMachineSettings(std::wstring_view where, std::wstring_view source) noexcept;

// One record for each machine policy that is on, with its value.
void RecordMachinePolicies() noexcept;

}  // namespace sentrel
