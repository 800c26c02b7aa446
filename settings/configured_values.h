// Where the values that configure the controller are read: the settings
// source "Settings" and the switch "ProtectNotes". Group Policy writes them
// under SOFTWARE\Policies\Corvantis\Sentrel, where they go again when the
// policy is removed; the settings key holds them where no policy sets them.
// In order, the first place that holds the value counts:
//   1. HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Corvantis\Sentrel (the computer's policy),
//   2. HKEY_CURRENT_USER\SOFTWARE\Policies\Corvantis\Sentrel (the user's policy),
//      left out under "MachineSettingsOnly" as the user's settings key is,
//   3. the settings key in force (registry_store.h), whether or not it holds it.
// A user's policy so never reaches further than the user's own settings key
// already could, and the computer's policy comes before both.
#pragma once

#include "support/unique_any.h"

#include <windows.h>

namespace sentrel {

enum class ValueOrigin { MachinePolicy, UserPolicy, SettingsKey };

struct ConfiguredValueKey {
    ValueOrigin origin = ValueOrigin::SettingsKey;
    // Opened for query: the policies key that holds the value, or else the
    // settings key in force (empty when none opens).
    qz_support::UniqueHkey key;
};

// The key to read the value `name` from. A policy value that is there but
// cannot be read still counts as set: it is never passed over for a value
// the user may have written.
ConfiguredValueKey OpenConfiguredValueKey(const char* name);

// The policies key under `root` (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER),
// opened for query; empty when it does not open.
qz_support::UniqueHkey OpenPolicyKey(HKEY root);

// Whether the value `name` is there, readable or not.
bool ValuePresent(HKEY key, const char* name);

}  // namespace sentrel
