// The agent's class object: created on the first request and kept for the
// process. While a client holds a reference to it, it keeps the module loaded.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace sentrel::agent {

class AgentClassFactory final : public IClassFactory {
public:
    static AgentClassFactory& Instance();

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // A non-null outer object may only ask for IUnknown (aggregation).
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    AgentClassFactory() = default;
    volatile LONG references_ = 0;
};

}  // namespace sentrel::agent
