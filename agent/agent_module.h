// The agent module's process-wide state: its instance handle and its lock
// count. The count keeps the library loaded while anything of it lives:
// agents, class-factory locks, CBT hooks and subclassed windows.
#pragma once

#include <windows.h>

namespace sentrel::agent {

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

// Interlocked; each returns the new count.
LONG LockModule();
LONG UnlockModule();
LONG ModuleLockCount();

// The lock count as the COM object base's lifetimes take a module.
struct ModuleLock {
    LONG Lock() const { return LockModule(); }
    LONG Unlock() const { return UnlockModule(); }
};

// The agent's class id {B0000299-50CF-11D1-A140-0000F802C250}.
extern const CLSID CLSID_SentrelAgent;

}  // namespace sentrel::agent
