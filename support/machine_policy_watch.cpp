#include "support/machine_policy_watch.h"

#include "support/machine_policy.h"

namespace sentrel {
namespace {

constexpr const char* kWatchedKeyPath = "SOFTWARE\\Policies";

}  // namespace

bool MachinePolicyWatch::On(const char* name) noexcept {
    try {
        const std::lock_guard<std::mutex> guard(lock_);
        // Asked for again before anything is read, so that a change made
        // while the values are read is signalled too.
        if (!armed_ || WaitForSingleObject(changed_.get(), 0) != WAIT_TIMEOUT) {
            known_.clear();
            armed_ = Arm();
        }
        if (!armed_) return MachinePolicyOn(name);
        for (const auto& [known, on] : known_) {
            if (known == name) return on;
        }
        const bool on = MachinePolicyOn(name);
        known_.emplace_back(name, on);
        return on;
    } catch (...) {
        // No lock or no memory for the cache: the key itself answers.
        return MachinePolicyOn(name);
    }
}

bool MachinePolicyWatch::Arm() {
    if (!changed_) changed_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!watched_ &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kWatchedKeyPath, 0, KEY_NOTIFY | KEY_WOW64_64KEY, watched_.put()) !=
            ERROR_SUCCESS)
        watched_.reset();
    if (!changed_ || !watched_) return false;
    // On Windows the notification also ends, signalled, when the thread that
    // asked for it exits: the next question then asks again from its own.
    if (RegNotifyChangeKeyValue(watched_.get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                changed_.get(), TRUE) == ERROR_SUCCESS)
        return true;
    watched_.reset();  // opened again at the next question
    return false;
}

}  // namespace sentrel
