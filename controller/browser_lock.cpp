#include "controller/browser_lock.h"

#include "controller/agent_policy.h"
#include "support/unique_any.h"

#include <cstring>
#include <string>

namespace sentrel {
namespace {

using qz_support::UniqueHandle;
using qz_support::UniqueHkey;

constexpr const char* kBrowserMainKey = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char* kHelperObjectsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
constexpr const char* kExtensionsValue = "Enable Browser Extensions";
constexpr const char* kBandCategoriesPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Discardable\\PostSetup\\Component Categories\\";

UniqueHkey OpenKey(HKEY root, const std::string& path, REGSAM access) {
    UniqueHkey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

bool ValueIsYes(HKEY key) {
    char text[8] = {};
    DWORD size = sizeof text - 1, type = 0;
    return RegQueryValueExA(key, kExtensionsValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
               ERROR_SUCCESS &&
           type == REG_SZ && std::strcmp(text, "yes") == 0;
}

void EnableBrowserExtensions() {
    const UniqueHkey main = OpenKey(HKEY_CURRENT_USER, kBrowserMainKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!main || ValueIsYes(main.get())) return;
    RegSetValueExA(main.get(), kExtensionsValue, 0, REG_SZ, reinterpret_cast<const BYTE*>("yes"), 4);
}

void RegisterHelperObject() {
    const std::string path = std::string(kHelperObjectsKey) + "\\" + kAgentClsidText;
    if (OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ)) return;
    UniqueHkey created;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                    created.put(), nullptr);
}

void DeleteEnumSubkey(HKEY root, const std::string& categoryPath) {
    if (const UniqueHkey category = OpenKey(root, categoryPath, DELETE | KEY_ENUMERATE_SUB_KEYS))
        RegDeleteKeyA(category.get(), "Enum");
}

}  // namespace

void EnforceBrowserLock() {
    EnableBrowserExtensions();
    RegisterHelperObject();
    DeleteEnumSubkey(HKEY_CLASSES_ROOT, "Component Categories\\{00021492-0000-0000-C000-000000000046}");
    DeleteEnumSubkey(HKEY_CURRENT_USER, std::string(kBandCategoriesPath) + "{00021493-0000-0000-C000-000000000046}");
    DeleteEnumSubkey(HKEY_CURRENT_USER, std::string(kBandCategoriesPath) + "{00021494-0000-0000-C000-000000000046}");
}

void WatchBrowserConfiguration(HANDLE stopEvent) {
    const UniqueHkey main = OpenKey(HKEY_CURRENT_USER, kBrowserMainKey, KEY_NOTIFY);
    if (!main) return;
    const UniqueHkey helperObjects = OpenKey(HKEY_LOCAL_MACHINE, kHelperObjectsKey, KEY_NOTIFY);
    if (!helperObjects) return;
    const UniqueHandle mainChanged(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    const UniqueHandle helperObjectsChanged(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!mainChanged || !helperObjectsChanged) return;

    const auto watchMain = [&] {
        return RegNotifyChangeKeyValue(main.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, mainChanged.get(), TRUE) ==
               ERROR_SUCCESS;
    };
    const auto watchHelperObjects = [&] {
        return RegNotifyChangeKeyValue(helperObjects.get(), TRUE, REG_NOTIFY_CHANGE_NAME, helperObjectsChanged.get(),
                                       TRUE) == ERROR_SUCCESS;
    };
    if (!watchMain() || !watchHelperObjects()) return;
    const HANDLE events[] = {mainChanged.get(), helperObjectsChanged.get(), stopEvent};
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(3, events, FALSE, INFINITE);
        // Stopped, or a wait that failed and would only fail again.
        if (woken != WAIT_OBJECT_0 && woken != WAIT_OBJECT_0 + 1) return;
        // Only the request that fired is made again, and before the pass: a
        // request made anew resets its event, so renewing the other one could
        // swallow a change that has just signalled it, and a change made
        // during the pass must wake the next one.
        if (!(woken == WAIT_OBJECT_0 ? watchMain() : watchHelperObjects())) return;
        EnforceBrowserLock();
    }
}

}  // namespace sentrel
