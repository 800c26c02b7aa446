// A fetched settings document that could not be stored (a standard user
// under "MachineSettingsOnly" may not write the machine's key) is held in
// memory for the loads of this run instead. Shared by the sync worker's
// thread, which fetches, and the main thread, which loads.
#pragma once

#include "settings/registry_store.h"
#include "support/text.h"

#include <optional>

namespace sentrel {

// Holds `text` for the next loads; nothing ends the hold.
void HoldFetchedDocument(std::optional<WideString> text);

// The held document when there is one, else the stored one.
StoredDocument HeldOrStoredDocument();

}  // namespace sentrel
