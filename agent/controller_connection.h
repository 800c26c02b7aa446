// How the agent reaches its controller, and what it does without an answer,
// under the machine's policy "FailClosed".
#pragma once

#include "policy/controller_interface.h"
#include "support/com_ptr.h"

namespace sentrel::agent {

// ConnectController with the late-bound calls. Under "FailClosed" a
// controller class registered in the user's hive (which COM would prefer to
// the machine's) is a controller the user wrote: nothing is connected and
// E_ACCESSDENIED is returned.
HRESULT ConnectAgentController(qz_support::ComPtr<ISentrelController>& reference) noexcept;

// Whether a navigation the agent got no answer for is refused: the policy
// as it is now, without opening the registry while it stays unchanged.
bool FailsClosed() noexcept;

}  // namespace sentrel::agent
