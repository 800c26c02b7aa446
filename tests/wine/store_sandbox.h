// Test fixture for code that uses the settings store: the settings keys in
// both hives, the user's policies and the uninstall entry are removed before
// and after each test,
// so every test starts from a machine without the product's keys.
#pragma once

#include "settings/registry_store.h"
#include "support/machine_policy.h"

#include <sddl.h>

#include <gtest/gtest.h>

namespace sentrel::testing {

inline void RemoveStoreKeys() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Policies\\Corvantis");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
}

inline qz_support::UniqueHkey CreateKey(HKEY root, const char* path) {
    qz_support::UniqueHkey key;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr), ERROR_SUCCESS);
    return key;
}

// A machine policy value for the scope's life; the policies key goes with it.
class MachinePolicyScope {
public:
    MachinePolicyScope(const char* name, DWORD value) {
        CreateKey(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath);
        EXPECT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, name, REG_DWORD, &value, sizeof value),
                  ERROR_SUCCESS);
    }
    ~MachinePolicyScope() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis"); }
    MachinePolicyScope(const MachinePolicyScope&) = delete;
    MachinePolicyScope& operator=(const MachinePolicyScope&) = delete;
};

// Replaces the key's access list with the one `sddl` describes.
inline void SetKeyAccess(HKEY key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    LocalFree(descriptor);
}

// The key as a standard user finds the machine's keys for the scope's life:
// everyone may read it, nobody may write it. (Wine checks a key's access
// list when it is opened; the handle kept here, opened before, restores it.)
class ReadOnlyKeyScope {
public:
    ReadOnlyKeyScope(HKEY root, const char* path) : key_(CreateKey(root, path)) {
        SetKeyAccess(key_.get(), L"D:(D;;KW;;;WD)(A;;KA;;;WD)");
    }
    ~ReadOnlyKeyScope() { SetKeyAccess(key_.get(), L"D:(A;;KA;;;WD)"); }
    ReadOnlyKeyScope(const ReadOnlyKeyScope&) = delete;
    ReadOnlyKeyScope& operator=(const ReadOnlyKeyScope&) = delete;

private:
    qz_support::UniqueHkey key_;
};

class StoreSandbox : public ::testing::Test {
protected:
    void SetUp() override { RemoveStoreKeys(); }
    void TearDown() override { RemoveStoreKeys(); }
};

}  // namespace sentrel::testing
