#include "agent/controller_connection.h"

#include "agent/late_bound_ole.h"
#include "policy/connect_controller.h"
#include "support/machine_policy.h"
#include "support/registry.h"
#include "support/machine_policy_watch.h"
#include "support/unique_any.h"

#include <string>

namespace sentrel::agent {
namespace {

// The user's class key in either registry view: 32-bit and 64-bit
// processes see different copies of HKCU\Software\Classes\CLSID. Only a
// key that is not there counts as absent: one the user made unreadable to
// hide it (COM may still open its subkeys) counts as present.
bool UserHiveRegistersController() {
    const std::string path = std::string("Software\\Classes\\CLSID\\") + kControllerClsidText;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        const LSTATUS status =
            qz_support::registry::OpenKey(HKEY_CURRENT_USER, path.c_str(), KEY_QUERY_VALUE | view).status;
        if (status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND) return true;
    }
    return false;
}

}  // namespace

HRESULT ConnectAgentController(qz_support::ComPtr<ISentrelController>& reference) noexcept {
    if (FailsClosed() && UserHiveRegistersController()) {
        reference.reset();
        return E_ACCESSDENIED;
    }
    return ConnectController(reference, LateBoundActivationCalls());
}

bool FailsClosed() noexcept {
    // One watch for every browser thread of the process.
    static MachinePolicyWatch policies;
    return policies.On(kFailClosedPolicy);
}

}  // namespace sentrel::agent
