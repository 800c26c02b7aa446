// The one procedure every client uses to reach the controller.
#pragma once

#include "policy/controller_interface.h"
#include "support/com_ptr.h"

namespace sentrel {

// The two system calls the connection makes. A program links them directly;
// the agent library binds them at first use instead of at load.
struct ActivationCalls {
    decltype(&CoCreateInstance) create = nullptr;
    decltype(&OleRun) run = nullptr;
};

ActivationCalls DirectActivationCalls();

// Releases `reference`, then creates the controller (any class context),
// runs it and asks it for ISentrelController. On failure the reference is
// null and the failing HRESULT is returned; missing calls give E_NOTIMPL.
HRESULT ConnectController(qz_support::ComPtr<ISentrelController>& reference,
                          const ActivationCalls& calls = DirectActivationCalls()) noexcept;

}  // namespace sentrel
