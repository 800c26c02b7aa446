#include "controller/agent_policy.h"

#include "support/registry.h"

namespace sentrel {

void WriteAgentPolicy() {
    qz_support::registry::CreateAndSetString(
        HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID", kAgentClsidText, "1");
}

}  // namespace sentrel
