#include "agent/controller_connection.h"

#include "agent/late_bound_ole.h"
#include "policy/connect_controller.h"
#include "policy/user_controller_class.h"
#include "support/machine_policy.h"
#include "support/machine_policy_watch.h"

namespace sentrel::agent {

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
