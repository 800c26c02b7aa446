// The agent's class object: created on the first request and kept for the
// process. While a client holds a reference to it, it keeps the module loaded.
#pragma once

#include "agent/agent_module.h"
#include "support/com_object.h"

#include <windows.h>
#include <unknwn.h>

namespace sentrel::agent {

class AgentClassFactory final
    : public qz_support::ComObject<qz_support::LocksModuleWhileReferenced<ModuleLock>, IClassFactory> {
public:
    static AgentClassFactory& Instance();

    // A non-null outer object may only ask for IUnknown (aggregation).
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    AgentClassFactory() : ComObject(ModuleLock{}) {}
};

}  // namespace sentrel::agent
