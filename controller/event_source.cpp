#include "controller/event_source.h"

#include "support/registry.h"

namespace sentrel {

namespace registry = qz_support::registry;

HRESULT RegisterEventLogSource(const std::wstring& programPath) {
    const auto created = registry::CreateKey(HKEY_LOCAL_MACHINE, kEventSourceKeyPath, KEY_SET_VALUE);
    if (!created) return HRESULT_FROM_WIN32(created.status);
    if (const LSTATUS status =
            registry::SetWideString(created.key.get(), L"EventMessageFile", programPath, REG_EXPAND_SZ);
        status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    return HRESULT_FROM_WIN32(registry::SetDword(created.key.get(), "TypesSupported", kEventTypesSupported));
}

HRESULT UnregisterEventLogSource() {
    return HRESULT_FROM_WIN32(registry::DeleteTree(HKEY_LOCAL_MACHINE, kEventSourceKeyPath));
}

}  // namespace sentrel
