#include "controller/controller_records.h"

#include "SentrelEvents.h"
#include "support/event_log.h"
#include "support/machine_policy.h"
#include "support/registry.h"

#include <string>

namespace sentrel {
namespace {

std::wstring_view HowInWords(LockChange how) {
    switch (how) {
    case LockChange::Toggle:
        return L"toggle";
    case LockChange::Exit:
        return L"exit";
    case LockChange::Reload:
        return L"reload";
    case LockChange::Start:
        return L"start";
    }
    return L"";
}

}  // namespace

void RecordLockState(bool on, LockChange how) noexcept {
    qz_support::WriteEvent(on ? SENTREL_EVENT_LOCK_ON : SENTREL_EVENT_LOCK_OFF, {HowInWords(how)});
}

void RecordSettingsUnusable(std::wstring_view where, std::wstring_view why) noexcept {
    qz_support::WriteEvent(SENTREL_EVENT_SETTINGS_UNUSABLE, {where, why});
}

void RecordAwaitingMachineSettings(std::wstring_view where, std::wstring_view source) noexcept {
    qz_support::WriteEvent(SENTREL_EVENT_AWAITING_MACHINE_SETTINGS, {where, source});
}

void RecordMachinePolicies() noexcept try {
    // Read as MachinePolicyOn reads them: the 64-bit view of the shared key.
    const auto opened = qz_support::registry::OpenKey(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath,
                                                      KEY_QUERY_VALUE | KEY_WOW64_64KEY);
    if (!opened) return;
    for (const char* name : {kMachineSettingsOnlyPolicy, kFailClosedPolicy, kLogMaxKBPolicy}) {
        const auto read = qz_support::registry::ReadDword(opened.key.get(), name);
        if (!read.IsDword() || read.value == 0) continue;
        const std::string_view narrow(name);
        qz_support::WriteEvent(SENTREL_EVENT_MACHINE_POLICY,
                               {std::wstring(narrow.begin(), narrow.end()), std::to_wstring(read.value)});
    }
} catch (...) {
    // No memory for a name's text: the rest is not recorded.
}

}  // namespace sentrel
