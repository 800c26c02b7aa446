#include "support/machine_policy.h"

#include "support/unique_any.h"

#include <windows.h>

namespace sentrel {

bool MachinePolicyOn(const char* name) noexcept {
    // The policies key is shared by both registry views; the 64-bit one is
    // named so that 32-bit and 64-bit readers agree on any system.
    qz_support::UniqueHkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0, value = 0, size = sizeof value;
    return RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value && value != 0;
}

}  // namespace sentrel
