// The --machine report, as text for a person and as JSON for a script.
#include "tools/check/json_text.h"
#include "tools/check/machine_state.h"

#include <cstdio>

namespace sentrel::check {
namespace {

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string OptionalBool(const std::optional<bool>& value) { return value ? Bool(*value) : "null"; }

const char* VerdictCode(LockVerdict verdict) {
    switch (verdict) {
    case LockVerdict::InForce: return "in-force";
    case LockVerdict::NotInForce: return "not-in-force";
    case LockVerdict::CannotTell: return "cannot-tell";
    }
    return "cannot-tell";
}

int ExitStatus(LockVerdict verdict) {
    switch (verdict) {
    case LockVerdict::InForce: return 0;
    case LockVerdict::NotInForce: return 1;
    case LockVerdict::CannotTell: return 2;
    }
    return 2;
}

const char* PassText(const std::string& code) {
    if (code == "stored") return "stored (the fetched document replaced the stored one)";
    if (code == "held") return "applied for this run, not stored (the settings key cannot be written)";
    if (code == "failed") return "failed (nothing fetched, or the document did not load)";
    if (code == "no-source") return "no source configured";
    if (code == "drive-letter-refused") return "refused: a drive-letter source under MachineSettingsOnly";
    if (code == "none") return "none since the controller started";
    return "unknown (no controller runs)";
}

std::string Hresult(long hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

void PrintText(const MachineState& state) {
    std::printf("settings key:     %s (%s)\n", state.settingsKey.empty() ? "none" : state.settingsKey.c_str(),
                state.settingsKeyWhy.c_str());
    if (state.document == "present")
        std::printf("  document:       present (%zu characters)\n", state.documentCharacters);
    else if (state.document == "empty")
        std::printf("  document:       empty (the controller takes it for no document)\n");
    else
        std::printf("  document:       %s\n", state.document.c_str());
    std::printf("policies:\n");
    for (const PolicySetting& policy : state.policies) {
        if (policy.where.empty()) {
            std::printf("  %-20s not set\n", policy.name.c_str());
            continue;
        }
        std::printf("  %-20s %s  (%s)%s%s\n", policy.name.c_str(), policy.value.c_str(), policy.where.c_str(),
                    policy.inForce ? "" : "  ignored: ", policy.inForce ? "" : policy.note.c_str());
    }
    if (state.source.empty())
        std::printf("source:           none (%s)\n", state.sourceFrom.c_str());
    else
        std::printf("source:           %s (%s, from %s)%s%s\n", state.source.c_str(), state.sourceKind.c_str(),
                    state.sourceFrom.c_str(), state.sourceNote.empty() ? "" : "; ", state.sourceNote.c_str());
    std::printf("notes protection: %s (from %s)\n", state.notesProtection ? "on" : "off",
                state.notesProtectionFrom.c_str());
    std::printf("Last Sync:        %s\n", state.lastSync.empty() ? "never" : state.lastSync.c_str());
    std::printf("last pass:        %s\n", PassText(state.lastPass));
    std::printf("controller class: %s%s\n",
                state.controllerClassPath.empty() ? "not registered" : state.controllerClassPath.c_str(),
                state.controllerClassPath.empty() || state.controllerClassFileExists ? "" : " (the program is missing)");
    if (state.controllerRuns) {
        std::string processes;
        for (const unsigned long id : state.controllerProcesses) processes += (processes.empty() ? "" : ", ") + std::to_string(id);
        std::printf("controller:       runs (process %s), %s\n", processes.c_str(),
                    state.answered ? "answers" : state.controllerNote.c_str());
    } else {
        std::printf("controller:       %s\n", state.controllerNote.c_str());
    }
    if (!state.answered && state.failure != 0) std::printf("  failure:        %s\n", Hresult(state.failure).c_str());
    if (state.locked)
        std::printf("lock:             %s (asked with %s)\n", *state.locked ? "on" : "off", state.lockAskedWith.c_str());
    else
        std::printf("lock:             unknown\n");
    if (state.startedLocked)
        std::printf("held lock:        %s\n", *state.startedLocked
                                                  ? "yes: the stored settings could not be used, every address is "
                                                    "refused until a document applies"
                                                  : "no");
    for (const AgentView& view : state.agent) {
        std::printf("agent, %s view: helper object %s; class %s%s%s\n", view.view.c_str(),
                    view.helperObject ? "registered" : "NOT registered",
                    view.classPath.empty() ? "NOT registered" : view.classPath.c_str(),
                    view.classPath.empty() || view.classFileExists ? "" : " (the file is missing)",
                    view.userClass ? "; a class entry of the user's own covers it" : "");
    }
    if (state.userAddOnSwitch)
        std::printf("agent:            the user's add-on switch for it is present (Manage Add-ons)\n");
    std::printf("verdict:          the lock is %s: %s\n",
                state.verdict == LockVerdict::InForce      ? "in force"
                : state.verdict == LockVerdict::NotInForce ? "NOT in force"
                                                           : "of unknown state",
                state.verdictWhy.c_str());
}

void PrintJson(const MachineState& state) {
    std::printf("{\"settings_key\": {\"key\": %s, \"why\": %s, \"document\": %s, \"document_characters\": %zu}",
                state.settingsKey.empty() ? "null" : Json(state.settingsKey).c_str(), Json(state.settingsKeyWhy).c_str(),
                Json(state.document).c_str(), state.documentCharacters);
    std::printf(", \"policies\": [");
    for (size_t i = 0; i < state.policies.size(); ++i) {
        const PolicySetting& policy = state.policies[i];
        std::printf("%s{\"name\": %s, \"set\": %s, \"where\": %s, \"value\": %s, \"in_force\": %s, \"note\": %s}",
                    i ? ", " : "", Json(policy.name).c_str(), Bool(!policy.where.empty()),
                    policy.where.empty() ? "null" : Json(policy.where).c_str(),
                    policy.where.empty() ? "null" : Json(policy.value).c_str(), Bool(policy.inForce),
                    Json(policy.note).c_str());
    }
    std::printf("], \"source\": {\"value\": %s, \"kind\": %s, \"from\": %s, \"note\": %s}", Json(state.source).c_str(),
                Json(state.sourceKind).c_str(), Json(state.sourceFrom).c_str(), Json(state.sourceNote).c_str());
    std::printf(", \"notes_protection\": {\"on\": %s, \"from\": %s}", Bool(state.notesProtection),
                Json(state.notesProtectionFrom).c_str());
    std::printf(", \"sync\": {\"last_sync\": %s, \"last_pass\": %s}",
                state.lastSync.empty() ? "null" : Json(state.lastSync).c_str(), Json(state.lastPass).c_str());
    std::printf(", \"controller\": {\"class\": %s, \"class_program_exists\": %s, \"user_class\": %s, "
                "\"runs\": %s, \"instance_marker\": %s, \"processes\": [",
                state.controllerClassPath.empty() ? "null" : Json(state.controllerClassPath).c_str(),
                Bool(state.controllerClassFileExists), Bool(state.userControllerClass), Bool(state.controllerRuns),
                Bool(state.instanceMarker));
    for (size_t i = 0; i < state.controllerProcesses.size(); ++i)
        std::printf("%s%lu", i ? ", " : "", state.controllerProcesses[i]);
    std::printf("], \"answers\": %s, \"failure\": %s, \"locked\": %s, \"asked_with\": %s, \"held_lock\": %s, "
                "\"note\": %s}",
                Bool(state.answered), state.failure ? Json(Hresult(state.failure)).c_str() : "null",
                OptionalBool(state.locked).c_str(),
                state.lockAskedWith.empty() ? "null" : Json(state.lockAskedWith).c_str(),
                OptionalBool(state.startedLocked).c_str(), Json(state.controllerNote).c_str());
    std::printf(", \"agent\": {\"views\": [");
    for (size_t i = 0; i < state.agent.size(); ++i) {
        const AgentView& view = state.agent[i];
        std::printf("%s{\"view\": %s, \"helper_object\": %s, \"class\": %s, \"class_file_exists\": %s, "
                    "\"user_class\": %s}",
                    i ? ", " : "", Json(view.view).c_str(), Bool(view.helperObject),
                    view.classPath.empty() ? "null" : Json(view.classPath).c_str(), Bool(view.classFileExists),
                    Bool(view.userClass));
    }
    std::printf("], \"user_addon_switch\": %s}", Bool(state.userAddOnSwitch));
    std::printf(", \"lock\": \"%s\", \"why\": %s, \"exit_status\": %d}\n", VerdictCode(state.verdict),
                Json(state.verdictWhy).c_str(), ExitStatus(state.verdict));
}

}  // namespace

int PrintMachineState(const MachineState& state, bool json) {
    if (json)
        PrintJson(state);
    else
        PrintText(state);
    return ExitStatus(state.verdict);
}

}  // namespace sentrel::check
