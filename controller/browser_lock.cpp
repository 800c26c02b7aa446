#include "controller/browser_lock.h"

#include "SentrelEvents.h"
#include "controller/agent_policy.h"
#include "controller/repair_records.h"
#include "support/event_log.h"
#include "support/registry.h"
#include "support/unique_any.h"

#include <string>

namespace sentrel {
namespace {

namespace registry = qz_support::registry;
using qz_support::UniqueHandle;
using qz_support::UniqueHkey;

constexpr const char* kBrowserMainKey = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr const char* kHelperObjectsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
constexpr const char* kExtensionsValue = "Enable Browser Extensions";
constexpr const char* kBandCategoriesPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Discardable\\PostSetup\\Component Categories\\";

UniqueHkey OpenKey(HKEY root, const std::string& path, REGSAM access) {
    return registry::OpenKey(root, path.c_str(), access).key;
}

// Writes a repair's record. Building its text may fail for want of memory;
// that must not end the watcher, so there is no record then.
template <typename Write>
void Record(Write&& write) noexcept {
    try {
        write();
    } catch (...) {
    }
}

// A key's full name for a record.
std::wstring KeyForRecord(const wchar_t* root, std::string_view path) {
    return std::wstring(root) + L"\\" + std::wstring(path.begin(), path.end());
}

void EnableBrowserExtensions() {
    const UniqueHkey main = OpenKey(HKEY_CURRENT_USER, kBrowserMainKey, KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!main) return;
    // REG_SZ "yes"; a value of more than 7 bytes is not read.
    const auto read = registry::ReadString(main.get(), kExtensionsValue, 7);
    if (read.state == registry::ValueState::Present && read.text == "yes") return;
    if (registry::SetString(main.get(), kExtensionsValue, "yes") != ERROR_SUCCESS) return;
    Record([&] {
        RecordBrowserRepair(L"HKEY_CURRENT_USER", std::string(kBrowserMainKey) + "\\" + kExtensionsValue,
                            FoundForRecord(read) + L", set to \"yes\"");
    });
}

void RegisterHelperObject() {
    const std::string path = std::string(kHelperObjectsKey) + "\\" + kAgentClsidText;
    if (OpenKey(HKEY_LOCAL_MACHINE, path, KEY_READ)) return;
    if (!registry::CreateKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS)) return;
    RecordBrowserRepair(L"HKEY_LOCAL_MACHINE", path, L"was missing, made again");
}

// The registry view a key was removed in, for its record; nothing where
// there is one view only (32-bit Windows).
std::wstring_view ViewForRecord(REGSAM view) {
    BOOL wow64 = FALSE;
#ifndef _WIN64
    if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return {};
#endif
    return view == KEY_WOW64_64KEY ? L" (64-bit registry view)" : L" (32-bit registry view)";
}

// What the user can write to keep the browser from loading the agent: a
// class entry of their own for the agent's class (COM reads
// HKCU\Software\Classes before the machine's classes) and Manage Add-ons'
// per-user switch that disables it. Each is removed when present, in both
// registry views (a 32-bit controller on 64-bit Windows sees
// Software\Classes\CLSID through Wow6432Node); nothing is written when none
// is.
void RemoveUserOverrides() {
    constexpr const char* kParents[] = {"Software\\Classes\\CLSID", "Software\\Classes\\Wow6432Node\\CLSID",
                                        "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings"};
    for (const char* parentPath : kParents) {
        for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            const UniqueHkey parent = OpenKey(HKEY_CURRENT_USER, parentPath, KEY_READ | DELETE | view);
            if (!parent || !OpenKey(parent.get(), kAgentClsidText, KEY_READ)) continue;
            if (registry::DeleteTree(parent.get(), kAgentClsidText) != ERROR_SUCCESS) continue;
            Record([&] {
                qz_support::WriteEvent(
                    SENTREL_EVENT_OVERRIDE_REMOVED,
                    {KeyForRecord(L"HKEY_CURRENT_USER", std::string(parentPath) + "\\" + kAgentClsidText) +
                     std::wstring(ViewForRecord(view))});
            });
        }
    }
}

void DeleteEnumSubkey(HKEY root, const std::string& categoryPath) {
    if (const UniqueHkey category = OpenKey(root, categoryPath, DELETE | KEY_ENUMERATE_SUB_KEYS))
        registry::DeleteKey(category.get(), "Enum");
}

}  // namespace

void EnforceBrowserLock() {
    EnableBrowserExtensions();
    RegisterHelperObject();
    RemoveUserOverrides();
    DeleteEnumSubkey(HKEY_CLASSES_ROOT, "Component Categories\\{00021492-0000-0000-C000-000000000046}");
    DeleteEnumSubkey(HKEY_CURRENT_USER, std::string(kBandCategoriesPath) + "{00021493-0000-0000-C000-000000000046}");
    DeleteEnumSubkey(HKEY_CURRENT_USER, std::string(kBandCategoriesPath) + "{00021494-0000-0000-C000-000000000046}");
}

namespace {

// One key of the watcher and its change request, made on a handle opened
// anew each time (created where the user may create the key): a key deleted
// from outside and made again is watched on, where a handle to the deleted
// key would never hear of it again.
class WatchedKey {
public:
    WatchedKey(HKEY root, std::string path, BOOL subtree, DWORD filter)
        : root_(root), path_(std::move(path)), subtree_(subtree), filter_(filter),
          changed_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

    HANDLE Changed() const { return changed_.get(); }

    // Asks to be told of the next change; false when the key can be neither
    // opened nor watched.
    bool Watch() {
        key_.reset();
        if (!changed_) return false;
        key_ = registry::CreateKey(root_, path_.c_str(), KEY_NOTIFY).key;
        if (!key_) key_ = OpenKey(root_, path_, KEY_NOTIFY);
        if (!key_) return false;
        return RegNotifyChangeKeyValue(key_.get(), subtree_, filter_, changed_.get(), TRUE) == ERROR_SUCCESS;
    }

private:
    HKEY root_;
    std::string path_;
    BOOL subtree_;
    DWORD filter_;
    UniqueHandle changed_;
    UniqueHkey key_;
};

}  // namespace

void WatchBrowserConfiguration(HANDLE stopEvent) {
    constexpr DWORD kNames = REG_NOTIFY_CHANGE_NAME;
    constexpr DWORD kNamesAndValues = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    WatchedKey keys[] = {
        {HKEY_CURRENT_USER, kBrowserMainKey, FALSE, kNamesAndValues},
        // Its subtree tells of Main itself being deleted.
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer", TRUE, kNames},
        {HKEY_LOCAL_MACHINE, kHelperObjectsKey, TRUE, kNames},
        {HKEY_CURRENT_USER, "Software\\Classes", TRUE, kNames},
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Ext", TRUE, kNamesAndValues},
    };
    constexpr DWORD kKeys = static_cast<DWORD>(std::size(keys));
    HANDLE events[kKeys + 1] = {};
    for (DWORD i = 0; i < kKeys; ++i) {
        events[i] = keys[i].Changed();
        if (!events[i]) return;
    }
    events[kKeys] = stopEvent;
    // Every request is made again before each pass (one that cannot be made
    // now is left out; its event stays quiet): a change that a renewed
    // request swallows happened before the pass, which sees it, and a change
    // during the pass wakes the next one.
    const auto watchAll = [&] {
        bool any = false;
        for (WatchedKey& key : keys) any = key.Watch() || any;
        return any;
    };
    if (!watchAll()) return;
    for (;;) {
        const DWORD woken = WaitForMultipleObjects(kKeys + 1, events, FALSE, INFINITE);
        // Stopped, or a wait that failed and would only fail again.
        if (woken >= WAIT_OBJECT_0 + kKeys) return;
        watchAll();
        EnforceBrowserLock();
    }
}

}  // namespace sentrel
