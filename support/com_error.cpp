#include "support/com_error.h"

#include <oleauto.h>

namespace qz_support {

void RaiseComError(HRESULT hr, IErrorInfo* info) {
    throw _com_error(hr, info, false);
}

HRESULT ThrowIfFailed(HRESULT hr) {
    if (SUCCEEDED(hr)) return hr;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) info = nullptr;
    RaiseComError(hr, info);
}

void PassErrorInfo(const _com_error& error) {
    // ErrorInfo() hands out a new reference.
    IErrorInfo* info = error.ErrorInfo();
    SetErrorInfo(0, info);
    if (info) info->Release();
}

}  // namespace qz_support
