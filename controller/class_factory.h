// The controller's class object: a singleton factory. It creates the one
// controller object when it is made, and every CreateInstance hands out
// that same object.
#pragma once

#include "controller/sentrel_controller.h"
#include "support/com_object.h"

#include <memory>

namespace sentrel {

// References to the factory hold no module lock; it lives as long as main.
class ControllerClassFactory final : public qz_support::ComObject<qz_support::NotCounted, IClassFactory> {
public:
    explicit ControllerClassFactory(ServerModule& module) noexcept;
    ~ControllerClassFactory();

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ServerModule& module_;
    std::unique_ptr<SentrelController> controller_;
    HRESULT startup_ = S_OK;
};

}  // namespace sentrel
