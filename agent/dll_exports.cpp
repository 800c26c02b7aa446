// SentrelAgent.dll: the library's entry point and its four exports, each in
// the support library's guards: nothing they call raises past them.
#include "agent/agent_class_factory.h"
#include "agent/agent_module.h"
#include "agent/browser_notify.h"
#include "agent/module_registration.h"
#include "support/entry_points.h"

#include <utility>

using namespace sentrel::agent;

namespace {

constexpr const char* kUnit = "SentrelAgent";

// The exports that answer with an HRESULT: a COM error is the result, any
// other failure is reported and gives E_UNEXPECTED.
template <typename Work>
HRESULT GuardExport(int line, Work&& work) noexcept {
    return qz_support::GuardComEntry(kUnit, line, ModuleInstance(), IID_NULL, CLSID_SentrelAgent,
                                     std::forward<Work>(work));
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        // Before any guard: the thread's guard record is emptied here.
        SetModuleInstance(instance);
        DisableThreadLibraryCalls(instance);
        qz_support::ClearExceptionHandler();
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Unloaded while the process goes on: every followed window gets its
        // own procedure back. When the process is ending, its other threads
        // are already gone (one may have held the registries' lock) and the
        // windows end with it, so nothing is touched.
        qz_support::GuardCallbackEntry(kUnit, __LINE__, instance, [] { DestroyAllNotifyWindows(); });
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    return GuardExport(__LINE__, [] { return ModuleLockCount() == 0 ? S_OK : S_FALSE; });
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return GuardExport(__LINE__, [&]() -> HRESULT {
        if (!IsEqualCLSID(classId, CLSID_SentrelAgent)) return CLASS_E_CLASSNOTAVAILABLE;
        return AgentClassFactory::Instance().QueryInterface(iid, object);
    });
}

STDAPI DllRegisterServer() {
    return GuardExport(__LINE__, [] { return RegisterModule(true); });
}

STDAPI DllUnregisterServer() {
    return GuardExport(__LINE__, [] { return RegisterModule(false); });
}
