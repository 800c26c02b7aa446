#include "settings/configured_values.h"

#include "settings/registry_store.h"
#include "support/machine_policy.h"
#include "support/registry.h"

#include <string>

namespace sentrel {

namespace registry = qz_support::registry;

qz_support::UniqueHkey OpenPolicyKey(HKEY root) {
    // The policies keys are shared by both registry views; the 64-bit one is
    // named so that 32-bit and 64-bit readers agree on any system.
    return registry::OpenKey(root, kMachinePolicyKeyPath, KEY_QUERY_VALUE | KEY_WOW64_64KEY).key;
}

bool ValuePresent(HKEY key, const char* name) {
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    return registry::DescribeValue(key, wide.c_str()).state != registry::ValueState::Absent;
}

ConfiguredValueKey OpenConfiguredValueKey(const char* name) {
    ConfiguredValueKey found;
    if (auto machine = OpenPolicyKey(HKEY_LOCAL_MACHINE); machine && ValuePresent(machine.get(), name)) {
        found.origin = ValueOrigin::MachinePolicy;
        found.key = std::move(machine);
        return found;
    }
    if (!MachinePolicyOn(kMachineSettingsOnlyPolicy)) {
        if (auto user = OpenPolicyKey(HKEY_CURRENT_USER); user && ValuePresent(user.get(), name)) {
            found.origin = ValueOrigin::UserPolicy;
            found.key = std::move(user);
            return found;
        }
    }
    found.key = OpenSettingsKey(KEY_QUERY_VALUE);
    return found;
}

}  // namespace sentrel
