// The settings store against the registry of the run's own Wine prefix.
#include "settings/configured_values.h"
#include "settings/registry_store.h"
#include "tests/wine/store_sandbox.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using testing::CreateKey;

void SetDefault(HKEY root, const char* text) {
    const auto key = CreateKey(root, kSettingsKeyPath);
    RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1));
}

std::string ReadDefaultA(HKEY root) {
    char buffer[512] = {};
    DWORD size = sizeof buffer - 1;
    if (RegGetValueA(root, kSettingsKeyPath, nullptr, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return "<none>";
    return buffer;
}

using RegistryStore = testing::StoreSandbox;

TEST_F(RegistryStore, NothingStoredReadsAsNothing) {
    EXPECT_FALSE(ReadStoredDocument());
    EXPECT_EQ(ReadSettingsSource(), "");
}

TEST_F(RegistryStore, CurrentUserKeyWithoutValueShadowsMachineDocument) {
    SetDefault(HKEY_LOCAL_MACHINE, "<lockSettings active=\"Y\"/>");
    EXPECT_EQ(ReadStoredDocument(), WidenAscii("<lockSettings active=\"Y\"/>"));
    CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    EXPECT_FALSE(ReadStoredDocument());
}

TEST_F(RegistryStore, SaveGoesToCurrentUserWhenItsKeyExists) {
    CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    CreateKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    EXPECT_EQ(WriteStoredDocument("<a/>", true), S_OK);
    EXPECT_EQ(ReadDefaultA(HKEY_CURRENT_USER), "<a/>");
    EXPECT_EQ(ReadDefaultA(HKEY_LOCAL_MACHINE), "<none>");
}

TEST_F(RegistryStore, SaveGoesToTheMachineKeyAndCreatesIt) {
    EXPECT_EQ(WriteStoredDocument("<created/>", true), S_OK);
    EXPECT_EQ(ReadDefaultA(HKEY_LOCAL_MACHINE), "<created/>");
    EXPECT_EQ(ReadStoredDocument(), WidenAscii("<created/>"));
    EXPECT_EQ(WriteStoredDocument("<again/>", true), S_OK);
    EXPECT_EQ(ReadDefaultA(HKEY_LOCAL_MACHINE), "<again/>");
}

TEST_F(RegistryStore, ImportNeverCreatesAKey) {
    EXPECT_EQ(WriteStoredDocument("<imported/>", false), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    qz_support::UniqueHkey key;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, key.put()), ERROR_SUCCESS);
    CreateKey(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    EXPECT_EQ(WriteStoredDocument("<imported/>", false), S_OK);
    EXPECT_EQ(ReadDefaultA(HKEY_LOCAL_MACHINE), "<imported/>");
}

TEST_F(RegistryStore, StoredValueIsAStringWithItsNul) {
    EXPECT_EQ(WriteStoredDocument("abc", true), S_OK);
    DWORD type = 0, size = 0;
    RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, nullptr, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 4u);
}

TEST_F(RegistryStore, LatinTextRoundTripsThroughTheCodePage) {
    EXPECT_EQ(WriteStoredDocument("<h name=\"caf\xe9\"/>", true), S_OK);
    EXPECT_EQ(ReadStoredDocument(), std::u16string(u"<h name=\"caf\u00e9\"/>"));
}

TEST_F(RegistryStore, SettingsSourceIsReadAsBytesWhateverItsType) {
    const auto key = CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    const char source[] = "http://127.0.0.1/settings.xml";
    RegSetValueExA(key.get(), "Settings", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(source), sizeof source);
    EXPECT_EQ(ReadSettingsSource(), source);
    const char binary[] = {'C', ':', '\\', 's'};
    RegSetValueExA(key.get(), "Settings", 0, REG_BINARY, reinterpret_cast<const BYTE*>(binary), sizeof binary);
    EXPECT_EQ(ReadSettingsSource(), "C:\\s");
}

// The places a configuration value can be set, in the order they count.
enum Place : unsigned {
    kMachinePolicy = 1,
    kUserPolicy = 2,
    kUserKey = 4,
    kMachineKey = 8,
    kEmptyUserKey = 16,  // the user's settings key, without the value
};

struct PlacedValue {
    unsigned place;
    HKEY root;
    const char* path;
    const char* text;  // "Settings"
    DWORD number;      // "ProtectNotes"
};
const PlacedValue kPlaces[] = {
    {kMachinePolicy, HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, "machine-policy", 1},
    {kUserPolicy, HKEY_CURRENT_USER, kMachinePolicyKeyPath, "user-policy", 2},
    {kUserKey, HKEY_CURRENT_USER, kSettingsKeyPath, "user-key", 3},
    {kMachineKey, HKEY_LOCAL_MACHINE, kSettingsKeyPath, "machine-key", 4},
};

// "Settings" and "ProtectNotes" are read from the policies keys ahead of the
// settings key: the machine's first, then the user's, which
// "MachineSettingsOnly" leaves out as it leaves out the user's settings key.
TEST_F(RegistryStore, ConfigurationValuesComeFromThePoliciesFirst) {
    const struct {
        unsigned places;
        bool machineSettingsOnly;
        const char* expected;  // "" for none
        ValueOrigin origin;
    } cases[] = {
        {kMachineKey, false, "machine-key", ValueOrigin::SettingsKey},
        {kUserKey | kMachineKey, false, "user-key", ValueOrigin::SettingsKey},
        {kEmptyUserKey | kMachineKey, false, "", ValueOrigin::SettingsKey},
        {kUserPolicy | kUserKey | kMachineKey, false, "user-policy", ValueOrigin::UserPolicy},
        {kUserPolicy | kMachineKey, false, "user-policy", ValueOrigin::UserPolicy},
        {kMachinePolicy | kUserPolicy | kUserKey | kMachineKey, false, "machine-policy", ValueOrigin::MachinePolicy},
        {kMachinePolicy | kEmptyUserKey, false, "machine-policy", ValueOrigin::MachinePolicy},
        {kMachinePolicy, false, "machine-policy", ValueOrigin::MachinePolicy},
        {kUserPolicy | kUserKey | kMachineKey, true, "machine-key", ValueOrigin::SettingsKey},
        {kUserPolicy | kUserKey, true, "", ValueOrigin::SettingsKey},
        {kMachinePolicy | kUserPolicy | kUserKey, true, "machine-policy", ValueOrigin::MachinePolicy},
    };
    for (const auto& c : cases) {
        testing::RemoveStoreKeys();
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis");
        std::optional<testing::MachinePolicyScope> machineSettingsOnly;
        if (c.machineSettingsOnly) machineSettingsOnly.emplace(kMachineSettingsOnlyPolicy, 1);
        if (c.places & kEmptyUserKey) CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
        DWORD expectedNumber = 0;
        for (const PlacedValue& placed : kPlaces) {
            if (!(c.places & placed.place)) continue;
            const auto key = CreateKey(placed.root, placed.path);
            RegSetValueExA(key.get(), "Settings", 0, REG_SZ, reinterpret_cast<const BYTE*>(placed.text),
                           static_cast<DWORD>(strlen(placed.text) + 1));
            RegSetValueExA(key.get(), "ProtectNotes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&placed.number),
                           sizeof placed.number);
            if (placed.text == std::string(c.expected)) expectedNumber = placed.number;
        }
        const std::string places = "places " + std::to_string(c.places) + (c.machineSettingsOnly ? ", machine only" : "");
        EXPECT_EQ(ReadSettingsSource(), c.expected) << places;
        const ConfiguredValueKey notes = OpenConfiguredValueKey("ProtectNotes");
        EXPECT_EQ(notes.origin, c.origin) << places;
        EXPECT_EQ(qz_support::registry::ReadDword(notes.key.get(), "ProtectNotes").value, expectedNumber) << places;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis");
}

TEST_F(RegistryStore, LastSyncIsStampedInEnglish) {
    CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    std::tm time{};
    time.tm_year = 2025 - 1900;
    time.tm_mon = 1;
    time.tm_mday = 3;
    time.tm_hour = 9;
    time.tm_min = 5;
    time.tm_sec = 7;
    WriteLastSync(time);
    char buffer[64] = {};
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, "Last Sync", RRF_RT_REG_SZ, nullptr, buffer, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "Feb 03, 2025; 09:05:07");
    EXPECT_EQ(size, 23u);

    WriteLastSync();  // now: 22 characters
    size = sizeof buffer;
    RegGetValueA(HKEY_CURRENT_USER, kSettingsKeyPath, "Last Sync", RRF_RT_REG_SZ, nullptr, buffer, &size);
    EXPECT_EQ(strlen(buffer), 22u) << buffer;
}

TEST_F(RegistryStore, LastSyncIsNeverWrittenWithoutAKey) {
    WriteLastSync();
    qz_support::UniqueHkey key;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, key.put()), ERROR_SUCCESS);
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.put()), ERROR_SUCCESS);
}

// Wine's registry enumerates values sorted by name, so this gives the set of
// values, not the order they were written in.
std::vector<std::pair<std::string, DWORD>> UninstallValues() {
    std::vector<std::pair<std::string, DWORD>> values;
    qz_support::UniqueHkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        char name[64];
        DWORD nameLength = sizeof name, data = 0, size = sizeof data, type = 0;
        if (RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(&data),
                          &size) != ERROR_SUCCESS)
            break;
        values.emplace_back(name, data);
    }
    return values;
}

TEST_F(RegistryStore, UninstallEntryIsWrittenOnlyWhenItExists) {
    WriteUninstallEntry(true);
    EXPECT_FALSE(ReadUninstallEntry());
    EXPECT_FALSE(CanWriteUninstallEntry());
    qz_support::UniqueHkey key;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKeyPath, 0, KEY_READ, key.put()), ERROR_SUCCESS);

    CreateKey(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
    EXPECT_TRUE(CanWriteUninstallEntry());
    EXPECT_FALSE(ReadUninstallEntry()) << "no NoRemove value yet";
    WriteUninstallEntry(true);
    using Values = std::vector<std::pair<std::string, DWORD>>;
    EXPECT_EQ(UninstallValues(), (Values{{"NoModify", 1}, {"NoRemove", 1}, {"NoRepair", 1}}));
    EXPECT_EQ(ReadUninstallEntry(), true);
    WriteUninstallEntry(false);
    EXPECT_EQ(UninstallValues(), (Values{{"NoModify", 0}, {"NoRemove", 0}, {"NoRepair", 0}}));
    EXPECT_EQ(ReadUninstallEntry(), false);
}

}  // namespace
}  // namespace sentrel
