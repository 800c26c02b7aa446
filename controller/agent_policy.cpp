#include "controller/agent_policy.h"

#include "support/unique_any.h"

namespace sentrel {

void WriteAgentPolicy() {
    qz_support::UniqueHkey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID", 0,
                        nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key.get(), kAgentClsidText, 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
}

}  // namespace sentrel
