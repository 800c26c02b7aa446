#include "settings/registry_store.h"

#include "settings/last_sync.h"
#include "support/machine_policy.h"

#include <cstring>
#include <vector>

namespace sentrel {
namespace {

qz_support::UniqueHkey OpenKey(HKEY root, const char* path, REGSAM access) {
    qz_support::UniqueHkey key;
    if (RegOpenKeyExA(root, path, 0, access, key.put()) != ERROR_SUCCESS) key.reset();
    return key;
}

bool SetString(HKEY key, const char* name, std::string_view text) {
    const std::string terminated(text);
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(terminated.c_str()),
                          static_cast<DWORD>(terminated.size() + 1)) == ERROR_SUCCESS;
}

// The user's settings key, unless the machine's policy confines the
// settings to HKEY_LOCAL_MACHINE: then the user's key is never opened,
// whatever it holds.
qz_support::UniqueHkey OpenUserSettingsKey(REGSAM access) {
    if (MachinePolicyOn(kMachineSettingsOnlyPolicy)) return {};
    return OpenKey(HKEY_CURRENT_USER, kSettingsKeyPath, access);
}

}  // namespace

qz_support::UniqueHkey OpenSettingsKey(REGSAM access) {
    if (auto key = OpenUserSettingsKey(access)) return key;
    return OpenKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath, access);
}

StoredDocument ReadStoredDocumentValue() {
    // Twice the largest settings file: the text as UTF-16.
    constexpr DWORD kMaxStoredBytes = 2 * static_cast<DWORD>(kMaxSettingsTextBytes);
    StoredDocument stored;
    auto key = OpenUserSettingsKey(KEY_QUERY_VALUE);
    if (!key) {
        const LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_QUERY_VALUE, key.put());
        if (opened != ERROR_SUCCESS) {
            key.reset();
            if (opened != ERROR_FILE_NOT_FOUND) stored.state = StoredDocumentState::Unreadable;
            return stored;
        }
    }
    stored.state = StoredDocumentState::Unreadable;
    DWORD type = 0, size = 0;
    const LONG queried = RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size);
    if (queried == ERROR_FILE_NOT_FOUND) stored.state = StoredDocumentState::Absent;
    if (queried != ERROR_SUCCESS) return stored;
    // Only text is a settings document; an oversized value is not read.
    if (type != REG_SZ || size > kMaxStoredBytes) return stored;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return stored;
    // The text up to its NUL, or all of it when the value has none.
    buffer[size / sizeof(wchar_t)] = L'\0';
    stored.text = WideString(reinterpret_cast<const char16_t*>(buffer.data()));
    stored.state = StoredDocumentState::Present;
    return stored;
}

std::optional<WideString> ReadStoredDocument() {
    StoredDocument stored = ReadStoredDocumentValue();
    if (stored.state != StoredDocumentState::Present) return std::nullopt;
    return std::move(stored.text);
}

bool WriteStoredDocument(std::string_view text, bool createIfMissing) {
    auto key = OpenUserSettingsKey(KEY_SET_VALUE);
    if (!key && createIfMissing) {
        qz_support::UniqueHkey created;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, created.put(), nullptr) != ERROR_SUCCESS)
            return false;
    }
    if (!key) key = OpenKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath, KEY_SET_VALUE);
    return key && SetString(key.get(), nullptr, text);
}

std::string ReadSettingsSource() {
    const auto key = OpenSettingsKey(KEY_QUERY_VALUE);
    if (!key) return {};
    // The size first, from the wide call, which reads no data for it: a value
    // too long for an address is refused unread.
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), kSettingsSourceValueWide, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        size == 0)
        return {};
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (size > (kMaxSettingsSourceChars + 1) * (text ? sizeof(wchar_t) : 1)) return {};
    // A value that has grown since is refused by the fixed buffer.
    char bytes[kMaxSettingsSourceChars + 1] = {};
    size = sizeof bytes;
    if (RegQueryValueExA(key.get(), kSettingsSourceValue, nullptr, &type, reinterpret_cast<BYTE*>(bytes), &size) !=
        ERROR_SUCCESS)
        return {};
    // The bytes as a narrow string, whatever the type, up to a NUL.
    return std::string(bytes, strnlen(bytes, size));
}

void WriteLastSync(const std::tm& localTime) {
    if (const auto key = OpenSettingsKey(KEY_SET_VALUE)) SetString(key.get(), "Last Sync", FormatLastSync(localTime));
}

void WriteLastSync() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    WriteLastSync(local);
}

}  // namespace sentrel
