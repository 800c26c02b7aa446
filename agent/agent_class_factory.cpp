#include "agent/agent_class_factory.h"

#include "agent/agent_module.h"
#include "agent/sentrel_agent.h"

namespace sentrel::agent {

AgentClassFactory& AgentClassFactory::Instance() {
    static AgentClassFactory* factory = new AgentClassFactory;  // kept for the process
    return *factory;
}

STDMETHODIMP AgentClassFactory::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) AgentClassFactory::AddRef() {
    const LONG count = InterlockedIncrement(&references_);
    if (count == 1) LockModule();
    return static_cast<ULONG>(count);
}

STDMETHODIMP_(ULONG) AgentClassFactory::Release() {
    const LONG count = InterlockedDecrement(&references_);
    if (count == 0) UnlockModule();
    return static_cast<ULONG>(count);
}

STDMETHODIMP AgentClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return CSentrelAgent::Create(outer, iid, object);
}

STDMETHODIMP AgentClassFactory::LockServer(BOOL lock) {
    if (lock) {
        LockModule();
    } else {
        UnlockModule();
    }
    return S_OK;
}

}  // namespace sentrel::agent
