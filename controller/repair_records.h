// The records of the repairs the controller makes to the browser's
// configuration (the start's pass, the registry watcher, the agent's
// add-on policy entry): the value or key repaired and what was found there.
#pragma once

#include "support/registry.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace sentrel {

// "was absent", "was \"no\"", "was not text, or longer than expected": the
// value as the repair found it.
std::wstring FoundForRecord(const qz_support::registry::TextValue<std::string>& read);

// Records that `path` below the root named `root` ("HKEY_CURRENT_USER")
// was repaired, `what` saying how. Never raises: without memory for the
// text there is no record, and the repair goes on.
void RecordBrowserRepair(const wchar_t* root, std::string_view path, std::wstring_view what) noexcept;

}  // namespace sentrel
