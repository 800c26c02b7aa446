#include "support/com_error.h"

#include <oleauto.h>

namespace qz_support {

void RaiseComError(HRESULT hr, IErrorInfo* info) {
    throw _com_error(hr, info, false);
}

namespace {

bool SupportsErrorInfo(IUnknown* object, REFIID iid) {
    if (!object || IsEqualIID(iid, IID_NULL)) return false;
    ISupportErrorInfo* support = nullptr;
    if (FAILED(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) || !support)
        return false;
    const bool supported = support->InterfaceSupportsErrorInfo(iid) == S_OK;
    support->Release();
    return supported;
}

}  // namespace

HRESULT ThrowIfFailed(HRESULT hr, IUnknown* object, REFIID iid) {
    if (SUCCEEDED(hr)) return hr;
    // Taken in every case, so a stale one does not linger on the thread.
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) info = nullptr;
    if (info && !SupportsErrorInfo(object, iid)) {
        info->Release();
        info = nullptr;
    }
    RaiseComError(hr, info);
}

void PassErrorInfo(const _com_error& error) {
    // ErrorInfo() hands out a new reference.
    IErrorInfo* info = error.ErrorInfo();
    SetErrorInfo(0, info);
    if (info) info->Release();
}

}  // namespace qz_support
