// A small base for the host's COM objects: a reference count and a
// QueryInterface that answers IUnknown, IDispatch and the object's interface
// (`Base::Interface`, named by the generated not-implemented bases).
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace sentrel::host {

template <typename Base>
class ComObject : public Base {
    using Interface = typename Base::Interface;

public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, __uuidof(Interface))) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&references_);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

protected:
    virtual ~ComObject() = default;

private:
    volatile LONG references_ = 1;  // the creator's reference
};

}  // namespace sentrel::host
