#include "agent/module_registration.h"

#include "agent/agent_module.h"
#include "support/registry.h"
#include "support/entry_points.h"
#include "support/text.h"
#include "support/unique_any.h"

namespace sentrel::agent {
namespace {

namespace registry = qz_support::registry;

constexpr int kRegistrationScriptId = 101;

HKEY HiveKey(const std::string& hive) {
    if (hive == "HKCR") return HKEY_CLASSES_ROOT;
    if (hive == "HKCU") return HKEY_CURRENT_USER;
    return HKEY_LOCAL_MACHINE;
}

// A key that is already gone counts as deleted.
HRESULT DeleteTree(HKEY parent, const std::string& name) {
    return HRESULT_FROM_WIN32(registry::DeleteTree(parent, name.c_str()));
}

HRESULT WriteValue(HKEY key, const ScriptValue& value) {
    const char* name = value.name.empty() ? nullptr : value.name.c_str();
    if (value.type == 'd') return HRESULT_FROM_WIN32(registry::SetDword(key, name, std::stoul(value.data)));
    return HRESULT_FROM_WIN32(registry::SetString(key, name, value.data));
}

HRESULT RunKeys(HKEY parent, const std::vector<ScriptKey>& keys, bool registering);

HRESULT RegisterKey(HKEY parent, const ScriptKey& key) {
    if (key.rule == KeyRule::Delete) return DeleteTree(parent, key.name);
    if (key.rule == KeyRule::ForceRemove) {
        if (const HRESULT hr = DeleteTree(parent, key.name); FAILED(hr)) return hr;
    }
    const auto created = registry::CreateKey(parent, key.name.c_str(), KEY_READ | KEY_WRITE);
    HRESULT hr = HRESULT_FROM_WIN32(created.status);
    for (const ScriptValue& value : key.values) {
        if (FAILED(hr)) break;
        hr = WriteValue(created.key.get(), value);
    }
    return FAILED(hr) ? hr : RunKeys(created.key.get(), key.children, true);
}

HRESULT UnregisterKey(HKEY parent, const ScriptKey& key) {
    if (key.rule != KeyRule::NoRemove) return DeleteTree(parent, key.name);
    const auto opened = registry::OpenKey(parent, key.name.c_str(), KEY_READ | KEY_WRITE);
    if (opened.status == ERROR_FILE_NOT_FOUND) return S_OK;  // nothing below it to remove
    if (!opened) return HRESULT_FROM_WIN32(opened.status);
    return RunKeys(opened.key.get(), key.children, false);
}

HRESULT RunKeys(HKEY parent, const std::vector<ScriptKey>& keys, bool registering) {
    for (const ScriptKey& key : keys) {
        const HRESULT hr = registering ? RegisterKey(parent, key) : UnregisterKey(parent, key);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

std::string ModulePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(ModuleInstance(), path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

HRESULT RunRegistrationScript(const std::vector<ScriptRoot>& script, bool registering) {
    for (const ScriptRoot& root : script) {
        const HRESULT hr = RunKeys(HiveKey(root.hive), root.keys, registering);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT RegisterModule(bool registering) {
    const HRSRC found = FindResourceA(ModuleInstance(), MAKEINTRESOURCEA(kRegistrationScriptId), "REGISTRY");
    if (!found) return HRESULT_FROM_WIN32(GetLastError());
    const HGLOBAL loaded = LoadResource(ModuleInstance(), found);
    const auto* text = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!text) return HRESULT_FROM_WIN32(GetLastError());

    const std::string path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    std::string error;
    const auto script = ParseRegistrationScript(std::string_view(text, SizeofResource(ModuleInstance(), found)),
                                                {{"MODULE", path}}, error);
    if (!script) return qz_support::ReportError(E_UNEXPECTED, L"the registration script: " + ToWindowsWide(error));
    return RunRegistrationScript(*script, registering);
}

}  // namespace sentrel::agent
