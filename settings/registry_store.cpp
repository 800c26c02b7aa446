#include "settings/registry_store.h"

#include "settings/configured_values.h"
#include "settings/last_sync.h"
#include "support/machine_policy.h"
#include "support/registry.h"

#include <algorithm>
#include <cstring>

namespace sentrel {
namespace {

namespace registry = qz_support::registry;

// The user's settings key, unless the machine's policy confines the
// settings to HKEY_LOCAL_MACHINE: then the user's key is never opened,
// whatever it holds.
qz_support::UniqueHkey OpenUserSettingsKey(REGSAM access) {
    if (MachinePolicyOn(kMachineSettingsOnlyPolicy)) return {};
    return registry::OpenKey(HKEY_CURRENT_USER, kSettingsKeyPath, access).key;
}

}  // namespace

SettingsKeyInForce ChooseSettingsKey(REGSAM access) {
    SettingsKeyInForce chosen;
    if (MachinePolicyOn(kMachineSettingsOnlyPolicy)) {
        chosen.reason = SettingsKeyReason::MachineSettingsOnly;
    } else if (auto user = registry::OpenKey(HKEY_CURRENT_USER, kSettingsKeyPath, access)) {
        chosen.key = std::move(user.key);
        chosen.root = HKEY_CURRENT_USER;
        chosen.reason = SettingsKeyReason::UserKey;
        return chosen;
    }
    chosen.key = registry::OpenKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath, access).key;
    if (chosen.key) chosen.root = HKEY_LOCAL_MACHINE;
    return chosen;
}

qz_support::UniqueHkey OpenSettingsKey(REGSAM access) {
    return ChooseSettingsKey(access).key;
}

StoredDocument ReadStoredDocumentValue() {
    // Twice the largest settings file: the text as UTF-16.
    constexpr DWORD kMaxStoredBytes = 2 * static_cast<DWORD>(kMaxSettingsTextBytes);
    StoredDocument stored;
    stored.location = L"HKEY_CURRENT_USER\\" + ToWindowsWide(kSettingsKeyPath);
    auto key = OpenUserSettingsKey(KEY_QUERY_VALUE);
    if (!key) {
        stored.location = L"HKEY_LOCAL_MACHINE\\" + ToWindowsWide(kSettingsKeyPath);
        auto opened = registry::OpenKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_QUERY_VALUE);
        if (!opened) {
            if (opened.status != ERROR_FILE_NOT_FOUND) stored.state = StoredDocumentState::Unreadable;
            return stored;
        }
        key = std::move(opened.key);
    }
    // Only text is a settings document; an oversized value is not read.
    auto read = registry::ReadWideString(key.get(), nullptr, kMaxStoredBytes);
    stored.state = read.state;
    stored.text = std::move(read.text);
    return stored;
}

std::optional<WideString> ReadStoredDocument() {
    StoredDocument stored = ReadStoredDocumentValue();
    if (stored.state != StoredDocumentState::Present) return std::nullopt;
    return std::move(stored.text);
}

HRESULT WriteStoredDocument(std::string_view text, bool createIfMissing) {
    auto key = OpenUserSettingsKey(KEY_SET_VALUE);
    if (!key && createIfMissing) {
        const registry::OpenedKey created = registry::CreateKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_ALL_ACCESS);
        if (!created.key) return HRESULT_FROM_WIN32(created.status);
    }
    if (!key) {
        registry::OpenedKey opened = registry::OpenKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_SET_VALUE);
        if (!opened.key) return HRESULT_FROM_WIN32(opened.status);
        key = std::move(opened.key);
    }
    return HRESULT_FROM_WIN32(registry::SetString(key.get(), nullptr, text));
}

std::string ReadSettingsSource() {
    return ReadConfiguredSettingsSource().text;
}

ConfiguredSource ReadConfiguredSettingsSource() {
    const ConfiguredValueKey found = OpenConfiguredValueKey(kSettingsSourceValue);
    return {ReadSettingsSourceValue(found.key.get()), found.origin};
}

HRESULT WriteUserStoredDocument(std::string_view text) {
    if (MachinePolicyOn(kMachineSettingsOnlyPolicy)) return E_ACCESSDENIED;
    const registry::OpenedKey created = registry::CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath, KEY_SET_VALUE);
    if (!created.key) return HRESULT_FROM_WIN32(created.status);
    return HRESULT_FROM_WIN32(registry::SetString(created.key.get(), nullptr, text));
}

std::string ReadSettingsSourceValue(HKEY key) {
    if (!key) return {};
    // The size first, from the wide call, which reads no data for it: a value
    // too long for an address is refused unread.
    const auto value = registry::DescribeValue(key, kSettingsSourceValueWide);
    if (value.state != registry::ValueState::Present || value.size == 0) return {};
    const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (value.size > (kMaxSettingsSourceChars + 1) * (text ? sizeof(wchar_t) : 1)) return {};
    // The bytes whatever the type, so not through the REG_SZ reader. A value
    // that has grown since is refused by the fixed buffer.
    char bytes[kMaxSettingsSourceChars + 1] = {};
    DWORD type = 0, size = sizeof bytes;
    if (RegQueryValueExA(key, kSettingsSourceValue, nullptr, &type, reinterpret_cast<BYTE*>(bytes), &size) !=
        ERROR_SUCCESS)
        return {};
    // The bytes as a narrow string, whatever the type, up to a NUL.
    return std::string(bytes, strnlen(bytes, size));
}

void WriteLastSync(const std::tm& localTime) {
    if (const auto key = OpenSettingsKey(KEY_SET_VALUE))
        registry::SetString(key.get(), "Last Sync", FormatLastSync(localTime));
}

void WriteLastSync() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    WriteLastSync(local);
}

}  // namespace sentrel
