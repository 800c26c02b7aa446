// The controller's class object: a singleton factory. It creates the one
// controller object when it is made, and every CreateInstance hands out
// that same object.
#pragma once

#include "controller/sentrel_controller.h"

#include <memory>

namespace sentrel {

class ControllerClassFactory final : public IClassFactory {
public:
    explicit ControllerClassFactory(ServerModule& module) noexcept;
    ControllerClassFactory(const ControllerClassFactory&) = delete;
    ControllerClassFactory& operator=(const ControllerClassFactory&) = delete;
    ~ControllerClassFactory();

    // References to the factory hold no module lock; it lives as long as main.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    ServerModule& module_;
    std::unique_ptr<SentrelController> controller_;
    HRESULT startup_ = S_OK;
};

}  // namespace sentrel
