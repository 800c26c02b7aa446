#include "agent/agent_class_factory.h"

#include "agent/sentrel_agent.h"

namespace sentrel::agent {

AgentClassFactory& AgentClassFactory::Instance() {
    static AgentClassFactory* factory = new AgentClassFactory;  // kept for the process
    return *factory;
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
