// The one procedure every client uses to reach the controller.
#pragma once

#include "policy/controller_interface.h"
#include "support/com_ptr.h"

namespace sentrel {

// Releases `reference`, then creates the controller (any class context),
// runs it and asks it for ISentrelController. On failure the reference is
// null and the failing HRESULT is returned.
HRESULT ConnectController(qz_support::ComPtr<ISentrelController>& reference) noexcept;

}  // namespace sentrel
