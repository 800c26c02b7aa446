#include "controller/agent_policy.h"

#include "controller/repair_records.h"
#include "support/registry.h"

namespace sentrel {

namespace registry = qz_support::registry;

void WriteAgentPolicy() {
    constexpr const char* kPolicyKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID";
    const auto created = registry::CreateKey(HKEY_CURRENT_USER, kPolicyKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!created) return;
    // Written whatever it holds; a value the user changed or removed is recorded.
    const auto found = registry::ReadString(created.key.get(), kAgentClsidText, 8);
    if (registry::SetString(created.key.get(), kAgentClsidText, "1") != ERROR_SUCCESS) return;
    if (found.state == registry::ValueState::Present && found.text == "1") return;
    try {
        RecordBrowserRepair(L"HKEY_CURRENT_USER", std::string(kPolicyKey) + "\\" + kAgentClsidText,
                            FoundForRecord(found) + L", set to \"1\"");
    } catch (...) {
        // No memory for the record's text: the value is written all the same.
    }
}

}  // namespace sentrel
