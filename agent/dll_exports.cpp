// SentrelAgent.dll: the library's entry point and its four exports.
#include "agent/agent_class_factory.h"
#include "agent/agent_module.h"
#include "agent/browser_notify.h"
#include "agent/module_registration.h"
#include "support/entry_points.h"

using namespace sentrel::agent;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        SetModuleInstance(instance);
        DisableThreadLibraryCalls(instance);
        qz_support::ClearExceptionHandler();
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Unloaded while the process goes on: every followed window gets its
        // own procedure back. When the process is ending, its other threads
        // are already gone (one may have held the registries' lock) and the
        // windows end with it, so nothing is touched.
        DestroyAllNotifyWindows();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(classId, CLSID_SentrelAgent)) return CLASS_E_CLASSNOTAVAILABLE;
    return AgentClassFactory::Instance().QueryInterface(iid, object);
}

STDAPI DllRegisterServer() {
    return RegisterModule(true);
}

STDAPI DllUnregisterServer() {
    return RegisterModule(false);
}
