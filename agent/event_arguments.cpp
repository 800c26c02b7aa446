#include "agent/event_arguments.h"

#include "support/com_error.h"

namespace sentrel::agent {

void RaiseDescribed(HRESULT hr, const wchar_t* description) {
    ICreateErrorInfo* creator = nullptr;
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&creator))) {
        creator->SetDescription(const_cast<wchar_t*>(description));
        creator->SetSource(const_cast<wchar_t*>(L"SentrelAgent"));
        if (FAILED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) info = nullptr;
        creator->Release();
    }
    qz_support::RaiseComError(hr, info);
}

EventArguments::EventArguments(const DISPPARAMS* params, UINT count) : params_(params) {
    if (!params || params->cArgs < count || (params->cArgs > 0 && !params->rgvarg))
        RaiseDescribed(DISP_E_BADPARAMCOUNT, L"The event came with too few arguments.");
}

const VARIANT& EventArguments::At(UINT position) const {
    return params_->rgvarg[position];
}

IDispatch* EventArguments::Dispatch(UINT position) const {
    const VARIANT& value = At(position);
    switch (V_VT(&value)) {
    case VT_DISPATCH:
        return V_DISPATCH(&value);
    case VT_DISPATCH | VT_BYREF:
        return V_DISPATCHREF(&value) ? *V_DISPATCHREF(&value) : nullptr;
    case VT_EMPTY:
    case VT_NULL:
        return nullptr;
    default:
        RaiseDescribed(DISP_E_TYPEMISMATCH, L"An event argument is not a dispatch pointer.");
    }
}

const VARIANT& EventArguments::Variant(UINT position) const {
    const VARIANT& value = At(position);
    if (V_VT(&value) != (VT_VARIANT | VT_BYREF)) return value;
    if (!V_VARIANTREF(&value)) RaiseDescribed(E_POINTER, L"An event argument refers to no variant.");
    return *V_VARIANTREF(&value);
}

BSTR EventArguments::String(UINT position) const {
    const VARIANT& value = Variant(position);
    switch (V_VT(&value)) {
    case VT_BSTR:
        return V_BSTR(&value);
    case VT_BSTR | VT_BYREF:
        return V_BSTRREF(&value) ? *V_BSTRREF(&value) : nullptr;
    case VT_EMPTY:
    case VT_NULL:
        return nullptr;
    default:
        RaiseDescribed(DISP_E_TYPEMISMATCH, L"An event argument is not a string.");
    }
}

VARIANT_BOOL& EventArguments::Flag(UINT position) const {
    const VARIANT& value = At(position);
    if (V_VT(&value) != (VT_BOOL | VT_BYREF)) RaiseDescribed(DISP_E_TYPEMISMATCH, L"The Cancel argument is not a flag.");
    if (!V_BOOLREF(&value)) RaiseDescribed(E_POINTER, L"The Cancel argument refers to no flag.");
    return *V_BOOLREF(&value);
}

}  // namespace sentrel::agent
