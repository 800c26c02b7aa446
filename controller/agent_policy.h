// The browser's per-user add-on policy entry for the agent: on, and not to
// be switched off by the user.
#pragma once

namespace sentrel {

inline constexpr const char* kAgentClsidText = "{B0000299-50CF-11D1-A140-0000F802C250}";

// Writes HKCU\...\policies\Ext\CLSID\{agent} = "1". Fails silently; a
// value that was not "1" (the user switched the add-on off, or removed the
// entry) is recorded as a repair of the browser configuration.
void WriteAgentPolicy();

}  // namespace sentrel
