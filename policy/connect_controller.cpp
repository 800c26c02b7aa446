#include "policy/connect_controller.h"

#include "support/entry_points.h"

namespace sentrel {

HRESULT ConnectController(qz_support::ComPtr<ISentrelController>& reference, const ActivationCalls& calls) noexcept {
    reference.reset();
    if (!calls.create || !calls.run) return E_NOTIMPL;
    qz_support::SetNextCreateCLSID(CLSID_SentrelController);
    qz_support::ComPtr<IUnknown> object;
    HRESULT hr = calls.create(CLSID_SentrelController, nullptr, CLSCTX_ALL, IID_IUnknown, object.put_void());
    if (FAILED(hr)) return hr;
    hr = calls.run(object.get());
    if (SUCCEEDED(hr)) hr = object.get()->QueryInterface(IID_ISentrelController, reference.put_void());
    return hr;
}

}  // namespace sentrel
