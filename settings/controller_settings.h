// The controller's settings record. One lives in the controller object and
// is touched only on the controller's main thread.
#pragma once

#include "settings/settings_password.h"
#include "settings/site_list.h"
#include "support/text.h"

#include <deque>
#include <string>
#include <string_view>

namespace sentrel {

// How a site-list entry matches a host. Substring: the entry occurs anywhere
// in the host text, letter case counting (the rule of every document without
// "hostMatching"). Domain: host and entries are brought into canonical form
// and an entry matches the host it names and the hosts below it.
enum class HostMatching { Substring, Domain };

struct ControllerSettings {
    static constexpr size_t kRecentRefusedLimit = 50;
    // Each is kept to the longest address the internet library takes
    // (INTERNET_MAX_URL_LENGTH): the dialog offers them to pick from, and
    // fifty whole addresses of megabytes each would fill the memory.
    static constexpr size_t kRecentRefusedChars = 32 + sizeof "://" + 2048;

    // Recently refused addresses, oldest first; never stored.
    std::deque<std::string> recentRefused;
    SiteList hosts;
    SettingsPassword password;  // empty: no password asked
    WideString errorPage;  // empty: the agent's built-in page
    bool active = false;
    bool blockPopups = true;
    bool sourceConfigured = false;
    bool reverseOperation = false;
    bool prohibitUninstall = false;
    HostMatching hostMatching = HostMatching::Substring;

    // Appends the start of `address` (kRecentRefusedChars at most) to
    // recentRefused, dropping the oldest entries beyond the limit.
    void RememberRefused(std::string_view address);
};

}  // namespace sentrel
