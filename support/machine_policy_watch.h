// The machine policies of machine_policy.h, read once and read again only
// after the policies changed. A change notification on the whole subtree of
// HKEY_LOCAL_MACHINE\SOFTWARE\Policies signals an event, and every question
// first checks that event without waiting: a policy an administrator sets,
// changes or removes takes effect at the next question, while a question
// costs one event check as long as nothing changed. The parent of the
// product's key is watched because the product's own key may be created
// later, and a watched key that is removed signals nothing on every platform.
#pragma once

#include "support/unique_any.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace sentrel {

class MachinePolicyWatch {
public:
    MachinePolicyWatch() = default;
    MachinePolicyWatch(const MachinePolicyWatch&) = delete;
    MachinePolicyWatch& operator=(const MachinePolicyWatch&) = delete;

    // MachinePolicyOn(name) as of now. Where no watch can be set up, every
    // question reads the key. Safe to call from several threads at once.
    bool On(const char* name) noexcept;

private:
    // Opens the watched key when needed and asks for the next change; false
    // when either fails.
    bool Arm();

    std::mutex lock_;
    qz_support::UniqueHkey watched_;
    qz_support::UniqueHandle changed_;  // auto-reset: a check that finds it signalled consumes the change
    bool armed_ = false;
    std::vector<std::pair<std::string, bool>> known_;
};

}  // namespace sentrel
