// What --machine finds on Windows: the store's own choices (settings key,
// policy values, source), the running controller's answers over COM and
// the marks on its window, the agent's registration in each view.
#include "tools/check/machine_state.h"

#include "controller/agent_policy.h"
#include "controller/notes_protection.h"
#include "policy/connect_controller.h"
#include "policy/controller_interface.h"
#include "policy/user_controller_class.h"
#include "settings/configured_values.h"
#include "settings/controller_marks.h"
#include "settings/registry_store.h"
#include "settings/source_paths.h"
#include "support/background_thread.h"
#include "support/machine_policy.h"
#include "support/registry.h"
#include "support/unique_any.h"

#include <memory>

namespace sentrel::check {
namespace {

namespace registry = qz_support::registry;

// How long a running controller may take to answer; one busy with a modal
// window of its own still answers at once, one waiting on a slow download
// of the menu's reload does not.
constexpr DWORD kAnswerTimeoutMs = 5000;

const char* HiveName(HKEY root) { return root == HKEY_CURRENT_USER ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE"; }

std::string PolicyKeyName(HKEY root) { return std::string(HiveName(root)) + "\\" + kMachinePolicyKeyPath; }

void GatherSettingsKey(MachineState& state) {
    const SettingsKeyInForce chosen = ChooseSettingsKey(KEY_QUERY_VALUE);
    if (chosen.root) state.settingsKey = std::string(HiveName(chosen.root)) + "\\" + kSettingsKeyPath;
    switch (chosen.reason) {
    case SettingsKeyReason::UserKey:
        state.settingsKeyWhy = "the key exists under HKEY_CURRENT_USER, which comes first";
        break;
    case SettingsKeyReason::NoUserKey:
        state.settingsKeyWhy = chosen.root ? "no key opens under HKEY_CURRENT_USER"
                                           : "neither HKEY_CURRENT_USER nor HKEY_LOCAL_MACHINE has the key";
        break;
    case SettingsKeyReason::MachineSettingsOnly:
        state.settingsKeyWhy = chosen.root ? "the machine policy MachineSettingsOnly leaves the user's key out"
                                           : "the machine policy MachineSettingsOnly leaves the user's key out, "
                                             "and HKEY_LOCAL_MACHINE has no key";
        break;
    }
    const StoredDocument stored = ReadStoredDocumentValue();
    switch (stored.state) {
    case StoredDocumentState::Present: state.document = stored.text.empty() ? "empty" : "present"; break;
    case StoredDocumentState::Absent: state.document = "absent"; break;
    case StoredDocumentState::Unreadable: state.document = "unreadable"; break;
    }
    state.documentCharacters = stored.text.size();
}

struct PolicyName {
    const char* name;
    bool machineOnly;  // read from the computer's policies key alone
    bool text;
};
constexpr PolicyName kPolicies[] = {
    {kMachineSettingsOnlyPolicy, true, false},
    {kFailClosedPolicy, true, false},
    {kLogMaxKBPolicy, true, false},
    {kSettingsSourceValue, false, true},
    {kProtectNotesValue, false, false},
};

// The value as the product reads it: the source's bytes, or a number.
std::optional<std::string> PolicyValueText(HKEY key, const PolicyName& policy) {
    if (!key || !ValuePresent(key, policy.name)) return std::nullopt;
    if (policy.text) return ReadSettingsSourceValue(key);
    const registry::DwordValue read = registry::ReadDword(key, policy.name);
    if (read.IsDword()) return std::to_string(read.value);
    if (read.state == registry::ValueState::Present) return std::to_string(read.value) + " (not a REG_DWORD)";
    return std::string("(unreadable, or longer than four bytes)");
}

void GatherPolicies(MachineState& state, bool machineSettingsOnly) {
    const qz_support::UniqueHkey machine = OpenPolicyKey(HKEY_LOCAL_MACHINE);
    const qz_support::UniqueHkey user = OpenPolicyKey(HKEY_CURRENT_USER);
    for (const PolicyName& policy : kPolicies) {
        const std::optional<std::string> machineValue = PolicyValueText(machine.get(), policy);
        const std::optional<std::string> userValue = PolicyValueText(user.get(), policy);
        if (machineValue) state.policies.push_back({policy.name, PolicyKeyName(HKEY_LOCAL_MACHINE), *machineValue, true, ""});
        if (userValue) {
            PolicySetting setting{policy.name, PolicyKeyName(HKEY_CURRENT_USER), *userValue, false, ""};
            if (policy.machineOnly) {
                setting.note = "read from the computer's policies only";
            } else if (machineValue) {
                setting.note = "the computer's policy comes first";
            } else if (machineSettingsOnly) {
                setting.note = "MachineSettingsOnly leaves the user's policies out";
            } else {
                setting.inForce = true;
            }
            state.policies.push_back(std::move(setting));
        }
        if (!machineValue && !userValue) state.policies.push_back({policy.name, "", "", false, "not set"});
    }
}

std::string OriginText(ValueOrigin origin, const MachineState& state) {
    switch (origin) {
    case ValueOrigin::MachinePolicy: return "the computer's policy, " + PolicyKeyName(HKEY_LOCAL_MACHINE);
    case ValueOrigin::UserPolicy: return "the user's policy, " + PolicyKeyName(HKEY_CURRENT_USER);
    case ValueOrigin::SettingsKey:
        return state.settingsKey.empty() ? std::string("no policy and no settings key")
                                         : "the settings key, " + state.settingsKey;
    }
    return "";
}

void GatherSource(MachineState& state, bool machineSettingsOnly) {
    const ConfiguredValueKey found = OpenConfiguredValueKey(kSettingsSourceValue);
    state.source = ReadSettingsSourceValue(found.key.get());
    state.sourceFrom = OriginText(found.origin, state);
    if (state.source.empty()) {
        state.sourceKind = "none";
        state.sourceNote = "no synchronisation";
    } else {
        switch (KindOfSource(state.source)) {
        case SourceKind::Url: state.sourceKind = "url"; break;
        case SourceKind::NetworkPath: state.sourceKind = "network-path"; break;
        case SourceKind::DrivePath:
            state.sourceKind = "drive-path";
            if (machineSettingsOnly)
                state.sourceNote = "not read: under MachineSettingsOnly a source on a drive letter is refused";
            break;
        }
    }
    state.notesProtection = NotesProtectionConfigured();
    state.notesProtectionFrom = OriginText(OpenConfiguredValueKey(kProtectNotesValue).origin, state);
    if (const auto key = OpenSettingsKey(KEY_QUERY_VALUE)) {
        const auto stamp = registry::ReadString(key.get(), "Last Sync", 64);
        if (stamp.state == registry::ValueState::Present) state.lastSync = stamp.text;
    }
}

const char* PassCode(LastPassMark mark) {
    switch (mark) {
    case LastPassMark::None: return "none";
    case LastPassMark::NoSource: return "no-source";
    case LastPassMark::Stored: return "stored";
    case LastPassMark::Held: return "held";
    case LastPassMark::Failed: return "failed";
    case LastPassMark::DriveLetterRefused: return "drive-letter-refused";
    }
    return "none";
}

std::vector<HWND> ControllerWindows() {
    std::vector<HWND> windows;
    for (HWND window = FindWindowExA(nullptr, nullptr, kControllerWindowClass, kControllerWindowTitle); window;
         window = FindWindowExA(nullptr, window, kControllerWindowClass, kControllerWindowTitle))
        windows.push_back(window);
    return windows;
}

bool InstanceMarkerExists() {
    return static_cast<bool>(qz_support::UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, kInstanceMarkerName)));
}

// The activation for ConnectController that never starts a controller: only
// while a running one holds its marker, and only as a local server (no
// in-process class of anyone's is loaded here). A controller that ends in
// the moment between the look and the call could still be started by COM.
HRESULT WINAPI CreateRunningController(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
    if (!InstanceMarkerExists()) return CO_E_SERVER_STOPPING;
    return CoCreateInstance(clsid, outer, CLSCTX_LOCAL_SERVER, iid, object);
}

struct Answers {
    HRESULT connected = E_PENDING;
    HRESULT popup = E_PENDING;
    HRESULT address = E_PENDING;
};

// Connects and asks on a thread of its own, which is left behind when it
// does not end in time (the process ends soon after).
std::optional<Answers> AskRunningController() {
    const auto answers = std::make_shared<Answers>();
    qz_support::BackgroundThread asking;
    const bool started = asking.Start([answers](HANDLE) {
        if (FAILED(CoInitialize(nullptr))) return;
        {
            qz_support::ComPtr<ISentrelController> controller;
            answers->connected = ConnectController(controller, ActivationCalls{&CreateRunningController, &OleRun});
            if (SUCCEEDED(answers->connected) && controller) {
                // Read-only: popups are refused only while the lock is on.
                answers->popup = controller->AllowPopup();
                // With popups allowed, an http address without a host, which a
                // controller refuses in every mode only while the lock is on
                // (and then lists among the recently refused addresses).
                if (answers->popup == S_OK) {
                    const qz_support::UniqueBstr address(SysAllocString(L"http:///"));
                    answers->address = address ? controller->IsURLOK(address.get()) : E_OUTOFMEMORY;
                }
            }
        }
        CoUninitialize();
    });
    if (!started || !asking.Stop(kAnswerTimeoutMs)) return std::nullopt;
    return *answers;
}

void GatherControllerRegistration(MachineState& state) {
    // The machine's entry, not the merged view that a user's entry can cover,
    // in the native view: a 64-bit Windows runs the 64-bit controller.
    const std::string path = std::string("SOFTWARE\\Classes\\CLSID\\") + kControllerClsidText + "\\LocalServer32";
    const auto key = registry::OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE | KEY_WOW64_64KEY);
    if (!key) return;
    const auto text = registry::ReadString(key.key.get(), nullptr, 2 * MAX_PATH);
    if (text.state != registry::ValueState::Present) return;
    state.controllerClassPath = text.text;
    // The registered command line: the program, quoted or not.
    std::string program = text.text;
    if (!program.empty() && program[0] == '"') program = program.substr(1, program.find('"', 1) - 1);
    state.controllerClassFileExists = GetFileAttributesA(program.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Decide(MachineState& state, LockVerdict verdict, std::string why) {
    state.verdict = verdict;
    state.verdictWhy = std::move(why);
}

void GatherController(MachineState& state) {
    GatherControllerRegistration(state);
    state.userControllerClass = UserHiveRegistersController();
    state.failClosed = MachinePolicyOn(kFailClosedPolicy);
    state.instanceMarker = InstanceMarkerExists();
    const std::vector<HWND> windows = ControllerWindows();
    for (const HWND window : windows) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        state.controllerProcesses.push_back(process);
    }
    state.controllerRuns = state.instanceMarker && !windows.empty();
    if (state.controllerRuns) {
        state.lastPass = PassCode(LastPassMarkOf(windows.front()));
        state.startedLocked = LockHeldMark(windows.front());
    } else {
        state.lastPass = "unknown";
    }

    if (state.userControllerClass) {
        // COM on Windows prefers that class for the user's programs, the
        // browser's included: its answers would be the user's.
        state.controllerNote = "a controller class is registered under HKEY_CURRENT_USER\\Software\\Classes; "
                               "not connected";
        if (state.failClosed) {
            Decide(state, LockVerdict::InForce, "under FailClosed the agent connects to no controller while the "
                                                "user's hive registers one, and refuses every navigation");
        } else {
            Decide(state, LockVerdict::CannotTell, "the agent would connect to the class of the user's own hive");
        }
        return;
    }
    if (!state.instanceMarker && windows.empty()) {
        state.controllerNote = "no controller runs in this session";
        Decide(state, LockVerdict::NotInForce, "no controller runs; a browser window that opens now has COM "
                                               "start one, which applies the stored settings");
        return;
    }
    if (!state.controllerRuns) {
        state.controllerNote = state.instanceMarker ? "the instance marker exists, but no controller window"
                                                    : "a controller window exists, but not the instance marker";
        Decide(state, LockVerdict::CannotTell, "a controller is starting or ending, or something else holds its "
                                               "names; not connected");
        return;
    }
    const std::optional<Answers> answers = AskRunningController();
    if (!answers) {
        state.controllerNote = "no answer within 5 seconds";
        Decide(state, LockVerdict::CannotTell, "the controller does not answer");
        return;
    }
    state.failure = answers->connected;
    if (FAILED(answers->connected) || FAILED(answers->popup) ||
        (answers->popup == S_OK && FAILED(answers->address))) {
        if (SUCCEEDED(answers->connected)) state.failure = FAILED(answers->popup) ? answers->popup : answers->address;
        state.controllerNote = "the connection or a call failed";
        Decide(state, LockVerdict::CannotTell, "the controller runs but did not answer");
        return;
    }
    state.answered = true;
    state.lockAskedWith = answers->popup == S_FALSE ? "AllowPopup" : "IsURLOK";
    state.locked = answers->popup == S_FALSE || answers->address == S_FALSE;
    if (*state.locked) {
        Decide(state, LockVerdict::InForce, "the running controller has the lock on");
    } else {
        Decide(state, LockVerdict::NotInForce, "the running controller has the lock off: every address is allowed");
    }
}

bool Is64BitWindows() {
#ifdef _WIN64
    return true;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool KeyThere(HKEY root, const std::string& path, REGSAM view) {
    const LSTATUS status = registry::OpenKey(root, path.c_str(), KEY_QUERY_VALUE | view).status;
    return status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND;
}

void GatherAgent(MachineState& state) {
    struct View {
        const char* name;
        REGSAM flag;
    };
    std::vector<View> views = {{"32-bit", KEY_WOW64_32KEY}};
    if (Is64BitWindows()) views.insert(views.begin(), View{"64-bit", KEY_WOW64_64KEY});
    const std::string agentClass = std::string("Classes\\CLSID\\") + kAgentClsidText;
    for (const View& view : views) {
        AgentView found;
        found.view = view.name;
        const auto software = registry::OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ | view.flag);
        if (software) {
            found.helperObject = KeyThere(software.key.get(),
                                          std::string("Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper "
                                                      "Objects\\") + kAgentClsidText,
                                          0);
            const auto server =
                registry::OpenKey(software.key.get(), (agentClass + "\\InprocServer32").c_str(), KEY_QUERY_VALUE);
            if (server) {
                const auto path = registry::ReadString(server.key.get(), nullptr, 2 * MAX_PATH);
                if (path.state == registry::ValueState::Present) found.classPath = path.text;
            }
            found.classFileExists =
                !found.classPath.empty() && GetFileAttributesA(found.classPath.c_str()) != INVALID_FILE_ATTRIBUTES;
        }
        found.userClass = KeyThere(HKEY_CURRENT_USER, "Software\\" + agentClass, view.flag);
        state.agent.push_back(std::move(found));
    }
    state.userAddOnSwitch = KeyThere(
        HKEY_CURRENT_USER, std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\") + kAgentClsidText,
        0);
}

}  // namespace

MachineState GatherMachineState() {
    MachineState state;
    const bool machineSettingsOnly = MachinePolicyOn(kMachineSettingsOnlyPolicy);
    GatherSettingsKey(state);
    GatherPolicies(state, machineSettingsOnly);
    GatherSource(state, machineSettingsOnly);
    GatherController(state);
    GatherAgent(state);
    return state;
}

int ReportMachineState(bool json) { return PrintMachineState(GatherMachineState(), json); }

}  // namespace sentrel::check
