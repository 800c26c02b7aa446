// sentrel-check --machine against the real controller program and the run's
// own registry: what it reports and its exit status with the controller
// stopped (which it must not start) and running, locked or not, holding the
// lock, fetching from a source set by policy, and with a controller class in
// the user's hive.
#include "policy/controller_interface.h"
#include "resource_ids.h"
#include "settings/registry_store.h"
#include "tests/wine/store_sandbox.h"
#include "tools/client/controller_client.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace sentrel {
namespace {

using client::Env;
using client::ProgramRun;
using client::WaitUntil;
using testing::CreateKey;

const std::string kUserControllerClass = std::string("Software\\Classes\\CLSID\\") + kControllerClsidText;

ProgramRun CheckMachine(bool json) {
    return client::RunProgramForOutput(L"\"" + client::BuildMachinePath(SENTREL_CHECK_EXE) + L"\" --machine" +
                                           (json ? L" --json" : L""),
                                       30000);
}

// Both forms of the report: each must hold its expected pieces, and both
// end with the same exit status.
void ExpectReport(long exitCode, const std::vector<std::string>& text, const std::vector<std::string>& json,
                  const std::string& scenario) {
    const ProgramRun textRun = CheckMachine(false), jsonRun = CheckMachine(true);
    EXPECT_EQ(textRun.exitCode, exitCode) << scenario << "\n" << textRun.output;
    EXPECT_EQ(jsonRun.exitCode, exitCode) << scenario << "\n" << jsonRun.output;
    for (const std::string& piece : text)
        EXPECT_NE(textRun.output.find(piece), std::string::npos) << scenario << ": " << piece << "\n" << textRun.output;
    for (const std::string& piece : json)
        EXPECT_NE(jsonRun.output.find(piece), std::string::npos) << scenario << ": " << piece << "\n" << jsonRun.output;
    EXPECT_NE(jsonRun.output.find("\"exit_status\": " + std::to_string(exitCode) + "}"), std::string::npos)
        << scenario;
}

void SetText(HKEY root, const char* path, const char* name, const std::string& text) {
    const auto key = CreateKey(root, path);
    RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

class MachineCheck : public testing::StoreSandbox {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /RegServer"), 0);
    }
    void SetUp() override {
        client::StopControllers();
        RemovePolicies();
        StoreSandbox::SetUp();
    }
    void TearDown() override {
        client::StopControllers();
        RemovePolicies();
        RegDeleteTreeA(HKEY_CURRENT_USER, kUserControllerClass.c_str());
        StoreSandbox::TearDown();
    }
    static void RemovePolicies() {
        for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            RegDeleteTreeA(root, "SOFTWARE\\Policies\\Corvantis");
    }
};

TEST_F(MachineCheck, AStoppedControllerIsReportedAndNotStarted) {
    client::StoreSettingsDocument("<lockSettings active=\"Y\"><host name=\"corp\"/></lockSettings>");
    ASSERT_EQ(client::RunProgram(L"regsvr32 /s \"" + client::AgentLibrary() + L"\""), 0);
    // The agent registered by this build: the only view of 32-bit Windows,
    // the 64-bit one beside an empty 32-bit one on 64-bit Windows.
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    const bool twoViews = sizeof(void*) == 8 || wow64;
    std::vector<std::string> text = {
        "settings key:     HKEY_CURRENT_USER\\SOFTWARE\\Corvantis\\Sentrel (the key exists under "
        "HKEY_CURRENT_USER, which comes first)",
        "document:       present", "controller:       no controller runs in this session",
        "last pass:        unknown", "lock:             unknown", "the lock is NOT in force"};
    std::vector<std::string> json = {"\"runs\": false", "\"instance_marker\": false", "\"locked\": null",
                                     "\"lock\": \"not-in-force\"", "\"class_file_exists\": true, \"user_class\": false}"};
    if (twoViews) {
        text.push_back("agent, 64-bit view: helper object registered; class Z:\\");
        text.push_back("agent, 32-bit view: helper object NOT registered");
        json.push_back("{\"view\": \"64-bit\", \"helper_object\": true, \"class\": \"Z:");
    } else {
        text.push_back("agent, 32-bit view: helper object registered; class Z:\\");
        json.push_back("{\"view\": \"32-bit\", \"helper_object\": true, \"class\": \"Z:");
    }
    ExpectReport(1, text, json, "stopped");
    EXPECT_TRUE(client::ControllerProcesses().empty()) << "the check starts no controller";
    EXPECT_EQ(client::RunProgram(L"regsvr32 /s /u \"" + client::AgentLibrary() + L"\""), 0);
}

TEST_F(MachineCheck, ARunningControllerTellsWhetherItIsLocked) {
    const struct {
        const char* scenario;
        const char* userDocument;
        const char* machineDocument;  // nullptr: none
        bool machineSettingsOnly;
        long exitCode;
        std::vector<std::string> text, json;
    } cases[] = {
        {"locked, popups blocked", "<lockSettings active=\"Y\" blockPopups=\"Y\"/>", nullptr, false, 0,
         {"lock:             on (asked with AllowPopup)", "held lock:        no", "the lock is in force"},
         {"\"answers\": true", "\"locked\": true", "\"asked_with\": \"AllowPopup\"", "\"held_lock\": false",
          "\"lock\": \"in-force\""}},
        {"locked, popups allowed", "<lockSettings active=\"Y\" blockPopups=\"N\" reverseOperation=\"Y\"/>", nullptr,
         false, 0, {"lock:             on (asked with IsURLOK)"}, {"\"locked\": true", "\"asked_with\": \"IsURLOK\""}},
        {"unlocked", "<lockSettings active=\"N\"><host name=\"corp\"/></lockSettings>", nullptr, false, 1,
         {"lock:             off", "the lock is NOT in force"}, {"\"locked\": false", "\"lock\": \"not-in-force\""}},
        {"unusable document", "not a settings document", nullptr, false, 0,
         {"held lock:        yes", "lock:             on"}, {"\"held_lock\": true", "\"locked\": true"}},
        {"machine settings only", "<lockSettings active=\"N\"/>", "<lockSettings active=\"Y\"/>", true, 0,
         {"settings key:     HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvantis\\Sentrel (the machine policy "
          "MachineSettingsOnly leaves the user's key out)",
          "MachineSettingsOnly  1  (HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Corvantis\\Sentrel)",
          "lock:             on"},
         {"\"name\": \"MachineSettingsOnly\", \"set\": true", "\"locked\": true"}},
    };
    for (const auto& c : cases) {
        client::StopControllers();
        testing::RemoveStoreKeys();
        RemovePolicies();
        std::optional<testing::MachinePolicyScope> machineOnly;
        if (c.machineSettingsOnly) machineOnly.emplace(kMachineSettingsOnlyPolicy, 1);
        client::StoreSettingsDocument(c.userDocument);
        if (c.machineDocument) client::StoreSettingsDocument(c.machineDocument, HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(client::StartController()) << c.scenario;
        ExpectReport(c.exitCode, c.text, c.json, c.scenario);
        // The held lock's box, once; nothing else is left open.
        if (std::string(c.userDocument).find('<') == std::string::npos) client::DismissErrorBox(3000);
        EXPECT_EQ(client::ControllerProcesses().size(), 1u) << c.scenario;
    }
}

// The source set by the computer's policy is the one fetched, ahead of the
// user's policy and of the settings key; the report says where each value
// is set and how the last pass went.
TEST_F(MachineCheck, PolicySourcesAndTheLastPass) {
    ASSERT_FALSE(Env("SENTREL_HTTP_PORT").empty()) << "the test run starts the settings web server";
    const std::string machineSource = "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + "/files/machine-check.xml";
    const std::string userSource = "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + "/files/nowhere.xml";
    std::ofstream(Env("SENTREL_HTTP_ROOT") + "\\machine-check.xml", std::ios::binary)
        << "<lockSettings active=\"Y\"><host name=\"from-policy\"/></lockSettings>";
    const struct {
        const char* scenario;
        bool machineSettingsOnly;  // and the machine's settings key read-only, as for a standard user
        std::string pass;
        std::vector<std::string> text, json;
    } cases[] = {
        {"stored",
         false,
         "last pass:        stored",
         {"Settings             " + machineSource + "  (HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Corvantis\\Sentrel)",
          "Settings             " + userSource +
              "  (HKEY_CURRENT_USER\\SOFTWARE\\Policies\\Corvantis\\Sentrel)  ignored: the computer's policy comes first",
          "source:           " + machineSource + " (url, from the computer's policy",
          "ProtectNotes         not set"},
         {"\"last_pass\": \"stored\"", "\"name\": \"Settings\", \"set\": true", "\"kind\": \"url\""}},
        {"held",
         true,
         "last pass:        applied for this run, not stored",
         {"Last Sync:        never", "held lock:        no"},
         {"\"last_pass\": \"held\"", "\"last_sync\": null", "\"held_lock\": false", "\"locked\": true"}},
    };
    for (const auto& c : cases) {
        client::StopControllers();
        testing::RemoveStoreKeys();
        RemovePolicies();
        SetText(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, kSettingsSourceValue, machineSource);
        SetText(HKEY_CURRENT_USER, kMachinePolicyKeyPath, kSettingsSourceValue, userSource);
        CreateKey(HKEY_CURRENT_USER, kSettingsKeyPath);
        std::optional<testing::MachinePolicyScope> machineOnly;
        std::optional<testing::ReadOnlyKeyScope> readOnly;
        if (c.machineSettingsOnly) {
            machineOnly.emplace(kMachineSettingsOnlyPolicy, 1);
            readOnly.emplace(HKEY_LOCAL_MACHINE, kSettingsKeyPath);
        }
        ASSERT_TRUE(client::StartController()) << c.scenario;
        EXPECT_TRUE(WaitUntil([&] { return CheckMachine(false).output.find(c.pass) != std::string::npos; }, 15000))
            << c.scenario << "\n" << CheckMachine(false).output;
        ExpectReport(0, c.text, c.json, c.scenario);
        client::StopControllers();
    }
}

// The menu's reload fetches on the controller's own thread: while a slow
// server keeps it waiting, the controller cannot answer, and the check gives
// up after its timeout instead of waiting with it.
TEST_F(MachineCheck, AControllerThatDoesNotAnswerInTimeCannotTell) {
    ASSERT_FALSE(Env("SENTREL_HTTP_PORT").empty()) << "the test run starts the settings web server";
    std::ofstream(Env("SENTREL_HTTP_ROOT") + "\\machine-check.xml", std::ios::binary) << "<lockSettings active=\"Y\"/>";
    SetText(HKEY_CURRENT_USER, kSettingsKeyPath, kSettingsSourceValue,
            "http://127.0.0.1:" + Env("SENTREL_HTTP_PORT") + "/slow/10000/machine-check.xml");
    ASSERT_TRUE(client::StartController());
    PostMessageA(client::ControllerWindow(), WM_COMMAND, ID_RELOAD, 0);
    Sleep(500);
    const ULONGLONG start = GetTickCount64();
    const ProgramRun run = CheckMachine(false);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("controller:       runs (process"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("no answer within 5 seconds"), std::string::npos) << run.output;
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LT(elapsed, 9000u) << "the check does not wait for the controller";
}

TEST_F(MachineCheck, AControllerClassInTheUsersHiveIsNotAsked) {
    client::StoreSettingsDocument("<lockSettings active=\"Y\"/>");
    ASSERT_TRUE(client::StartController());
    CreateKey(HKEY_CURRENT_USER, kUserControllerClass.c_str());
    ExpectReport(2, {"a controller class is registered under HKEY_CURRENT_USER", "lock:             unknown"},
                 {"\"user_class\": true", "\"answers\": false", "\"lock\": \"cannot-tell\""}, "user class");
    // Under FailClosed the agent refuses every navigation rather than ask it.
    testing::MachinePolicyScope failClosed(kFailClosedPolicy, 1);
    ExpectReport(0, {"FailClosed           1", "under FailClosed the agent connects to no controller"},
                 {"\"lock\": \"in-force\""}, "user class under FailClosed");
}

}  // namespace
}  // namespace sentrel
