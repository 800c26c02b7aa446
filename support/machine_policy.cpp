#include "support/machine_policy.h"

#include "support/registry.h"

#include <windows.h>

namespace sentrel {

bool MachinePolicyOn(const char* name) noexcept {
    // The policies key is shared by both registry views; the 64-bit one is
    // named so that 32-bit and 64-bit readers agree on any system.
    const auto opened =
        qz_support::registry::OpenKey(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
    if (!opened) return false;
    const auto read = qz_support::registry::ReadDword(opened.key.get(), name);
    return read.IsDword() && read.value != 0;
}

std::optional<DWORD> MachinePolicyValue(const char* name) noexcept {
    const auto opened =
        qz_support::registry::OpenKey(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
    if (!opened) return std::nullopt;
    const auto read = qz_support::registry::ReadDword(opened.key.get(), name);
    if (!read.IsDword()) return std::nullopt;
    return read.value;
}

}  // namespace sentrel
