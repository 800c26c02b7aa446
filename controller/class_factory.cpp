#include "controller/class_factory.h"
#include "support/entry_points.h"

namespace sentrel {

ControllerClassFactory::ControllerClassFactory(ServerModule& module) noexcept : module_(module) {
    // Without memory for the object the server still runs and answers
    // every creation with the failure.
    if (!qz_support::RunGuarded(__FILE__, __LINE__, [&] { controller_ = std::make_unique<SentrelController>(module); })) {
        startup_ = E_OUTOFMEMORY;
        return;
    }
    startup_ = controller_->FinalConstruct();
}

ControllerClassFactory::~ControllerClassFactory() {
    // Clients that still hold the controller are cut off while it exists:
    // the apartment's end would otherwise release their references on an
    // object that is gone.
    if (controller_) CoDisconnectObject(static_cast<ISentrelController*>(controller_.get()), 0);
}

STDMETHODIMP ControllerClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (FAILED(startup_)) return startup_;
    return controller_->QueryInterface(iid, object);
}

STDMETHODIMP ControllerClassFactory::LockServer(BOOL lock) {
    if (lock) {
        module_.Lock();
    } else {
        module_.Unlock();
    }
    return S_OK;
}

}  // namespace sentrel
