#include "agent/agent_module.h"

namespace sentrel::agent {
namespace {
HINSTANCE moduleInstance = nullptr;
volatile LONG lockCount = 0;
}  // namespace

const CLSID CLSID_SentrelAgent = {0xB0000299, 0x50CF, 0x11D1, {0xA1, 0x40, 0x00, 0x00, 0xF8, 0x02, 0xC2, 0x50}};

HINSTANCE ModuleInstance() {
    return moduleInstance;
}

void SetModuleInstance(HINSTANCE instance) {
    moduleInstance = instance;
}

LONG LockModule() {
    return InterlockedIncrement(&lockCount);
}

LONG UnlockModule() {
    return InterlockedDecrement(&lockCount);
}

LONG ModuleLockCount() {
    return InterlockedCompareExchange(&lockCount, 0, 0);
}

}  // namespace sentrel::agent
