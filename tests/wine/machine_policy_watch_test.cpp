// The machine policy watch against the prefix's real machine hive: every
// change below the policies key is seen at the next question, from any
// thread, and nothing is read again while nothing changed.
#include "support/machine_policy.h"
#include "support/machine_policy_watch.h"
#include "support/unique_any.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <functional>
#include <thread>

namespace sentrel {
namespace {

using qz_support::UniqueHkey;

constexpr const char* kVendorKeyPath = "SOFTWARE\\Policies\\Corvantis";
constexpr const char* kPolicy = "WatchedPolicy";

void SetPolicy(DWORD type, const void* data, DWORD size) {
    UniqueHkey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), kPolicy, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void SetPolicyNumber(DWORD value) {
    SetPolicy(REG_DWORD, &value, sizeof value);
}

void RemoveVendorKey() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kVendorKeyPath);
}

class MachinePolicyWatchTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveVendorKey(); }
    void TearDown() override { RemoveVendorKey(); }
};

TEST_F(MachinePolicyWatchTest, EveryChangeIsSeenAtTheNextQuestion) {
    MachinePolicyWatch watch;
    struct Step {
        const char* change;
        std::function<void()> make;
        bool on;
    };
    const Step steps[] = {
        {"no policies key", [] {}, false},
        {"set to 1", [] { SetPolicyNumber(1); }, true},
        {"set to 0", [] { SetPolicyNumber(0); }, false},
        {"set to 2", [] { SetPolicyNumber(2); }, true},
        {"made text", [] { SetPolicy(REG_SZ, "1", 2); }, false},
        {"set to 1 again", [] { SetPolicyNumber(1); }, true},
        {"value removed", [] { RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, kPolicy); }, false},
        {"set to 1 once more", [] { SetPolicyNumber(1); }, true},
        {"product key removed", [] { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath); }, false},
        {"created anew", [] { SetPolicyNumber(1); }, true},
        {"vendor key removed", [] { RemoveVendorKey(); }, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.change);
        step.make();
        EXPECT_EQ(watch.On(kPolicy), step.on);
        EXPECT_EQ(watch.On(kPolicy), step.on) << "asked again";
        EXPECT_EQ(MachinePolicyOn(kPolicy), step.on) << "the key itself agrees";
        EXPECT_FALSE(watch.On("AnotherPolicy"));
    }
}

TEST_F(MachinePolicyWatchTest, ChangesAreSeenFromEveryThreadAfterTheAskingThreadEnded) {
    MachinePolicyWatch watch;
    bool seen = true;
    std::thread([&] { seen = watch.On(kPolicy); }).join();  // the watch was set up on a thread now gone
    EXPECT_FALSE(seen);
    SetPolicyNumber(1);
    EXPECT_TRUE(watch.On(kPolicy));
    std::thread([&] { seen = watch.On(kPolicy); }).join();
    EXPECT_TRUE(seen);
    SetPolicyNumber(0);
    std::thread([&] { seen = watch.On(kPolicy); }).join();
    EXPECT_FALSE(seen);
    EXPECT_FALSE(watch.On(kPolicy));
}

// A key made unreadable changes no value and signals nothing: the watch
// keeps answering from what it read, where a fresh read finds nothing. A
// value changed afterwards is read again, and then the key cannot be read.
TEST_F(MachinePolicyWatchTest, UnchangedPoliciesAreNotReadAgain) {
    SetPolicyNumber(1);
    MachinePolicyWatch watch;
    ASSERT_TRUE(watch.On(kPolicy));
    UniqueHkey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.put()),
              ERROR_SUCCESS);
    auto setAccess = [&](const wchar_t* sddl) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr));
        const qz_support::UniqueLocalDescriptor owned(descriptor);
        EXPECT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    };
    setAccess(L"D:(D;;KR;;;WD)(A;;KA;;;WD)");
    ASSERT_FALSE(MachinePolicyOn(kPolicy)) << "the key cannot be read now";
    EXPECT_TRUE(watch.On(kPolicy)) << "answered from the first read";

    const DWORD off = 0;
    ASSERT_EQ(RegSetValueExA(key.get(), "Other", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off),
              ERROR_SUCCESS);
    EXPECT_FALSE(watch.On(kPolicy)) << "read again after the change";
    setAccess(L"D:(A;;KA;;;WD)");
}

}  // namespace
}  // namespace sentrel
