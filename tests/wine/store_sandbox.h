// Test fixture for code that uses the settings store: the settings keys in
// both hives and the uninstall entry are removed before and after each test,
// so every test starts from a machine without the product's keys.
#pragma once

#include "settings/registry_store.h"

#include <gtest/gtest.h>

namespace sentrel::testing {

inline void RemoveStoreKeys() {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKeyPath);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kUninstallKeyPath);
}

inline qz_support::UniqueHkey CreateKey(HKEY root, const char* path) {
    qz_support::UniqueHkey key;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr), ERROR_SUCCESS);
    return key;
}

class StoreSandbox : public ::testing::Test {
protected:
    void SetUp() override { RemoveStoreKeys(); }
    void TearDown() override { RemoveStoreKeys(); }
};

}  // namespace sentrel::testing
