// Registry primitives of the settings store. The settings key
// SOFTWARE\Corvantis\Sentrel is taken from HKEY_CURRENT_USER when it opens
// there with the access needed, else from HKEY_LOCAL_MACHINE; once a key has
// opened there is no fall-back to the other hive. The machine policy
// "MachineSettingsOnly" leaves the user's key out. None of these raises.
#pragma once

#include "settings/configured_values.h"
#include "settings/settings_limits.h"
#include "support/registry.h"
#include "support/text.h"
#include "support/unique_any.h"

#include <wininet.h>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

inline constexpr const char* kSettingsKeyPath = "SOFTWARE\\Corvantis\\Sentrel";
// The settings source (a URL or a drive path) under the settings key.
inline constexpr const char* kSettingsSourceValue = "Settings";
inline constexpr const wchar_t* kSettingsSourceValueWide = L"Settings";
// No source is longer than the longest address the internet library takes.
inline constexpr size_t kMaxSettingsSourceChars = INTERNET_MAX_URL_LENGTH;
// The uninstall entries, one per installed product, named by its product code.
inline constexpr const char* kUninstallRootPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The entry of the one product code every earlier release's package carried,
// at every version: those releases and the stored settings name it.
inline constexpr const char* kUninstallKeyPath =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{27E397F5-3A9D-4C6F-AB69-670E032DBED9}";

// Which settings key the store takes for an access, and why.
enum class SettingsKeyReason {
    UserKey,              // the key opened under HKEY_CURRENT_USER, which comes first
    NoUserKey,            // it did not open there: the machine's
    MachineSettingsOnly,  // the machine policy leaves the user's key out: the machine's
};
struct SettingsKeyInForce {
    qz_support::UniqueHkey key;  // empty when no key opened
    HKEY root = nullptr;         // HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE; null when none opened
    SettingsKeyReason reason = SettingsKeyReason::NoUserKey;
};
SettingsKeyInForce ChooseSettingsKey(REGSAM access);

// The settings key opened with `access`, HKCU first; empty when neither opens.
qz_support::UniqueHkey OpenSettingsKey(REGSAM access);

// The settings document (the key's default value) and whether there is one:
// Absent when no settings key exists or the key has no default value;
// Unreadable when a key exists but does not open, or the value cannot be
// read, is not REG_SZ or is larger than a settings document can be.
using StoredDocumentState = qz_support::registry::ValueState;
struct StoredDocument {
    StoredDocumentState state = StoredDocumentState::Absent;
    WideString text;  // when Present
    // Where it was read, for records: the key with its hive.
    std::wstring location;
};
StoredDocument ReadStoredDocumentValue();

// The text of a Present document; nothing otherwise.
std::optional<WideString> ReadStoredDocument();

// Stores `text` as the default value (REG_SZ with its NUL). Without an HKCU
// key, creates the HKLM key when `createIfMissing`, else only opens it.
// S_OK, or the failing registry call's error as an HRESULT.
HRESULT WriteStoredDocument(std::string_view text, bool createIfMissing);

// Stores `text` in the user's settings key, created when missing: for a
// document fetched from the source the user's policy names, as the user's
// own key could hold it. E_ACCESSDENIED under "MachineSettingsOnly".
HRESULT WriteUserStoredDocument(std::string_view text);

// The "Settings" value where it counts (settings/configured_values.h: a
// policy first, else the settings key) as narrow text, up to its first NUL;
// empty when absent or when the value is longer than kMaxSettingsSourceChars
// and a NUL (such a value is not read). Allocates nothing beyond the result.
std::string ReadSettingsSource();
// The same with where it was found.
struct ConfiguredSource {
    std::string text;
    ValueOrigin origin = ValueOrigin::SettingsKey;
};
ConfiguredSource ReadConfiguredSettingsSource();
// The same reading of the "Settings" value under `key` (empty for no key).
std::string ReadSettingsSourceValue(HKEY key);

// Stamps "Last Sync" with the current (or the given) local time.
void WriteLastSync();
void WriteLastSync(const std::tm& localTime);

// The uninstall entries "prohibitUninstall" marks: that of each installed
// Sentrel product, whatever its version and architecture (found through the
// packages' upgrade codes), then the earlier releases' kUninstallKeyPath.
std::vector<std::string> UninstallEntryPaths();

// Each entry's "NoRemove", "NoRepair", "NoModify", written in that order,
// all 1 or all 0; nothing for an entry that cannot be opened. The reading
// is that of the first entry holding "NoRemove"; nothing when none does.
void WriteUninstallEntry(bool prohibit);
std::optional<bool> ReadUninstallEntry();
// Whether any entry opens for writing.
bool CanWriteUninstallEntry();

}  // namespace sentrel
