#include "settings/controller_settings.h"

#ifdef _WIN32
#include <windows.h>
#include <wininet.h>
static_assert(sentrel::ControllerSettings::kRecentRefusedChars == INTERNET_MAX_URL_LENGTH);
#endif

namespace sentrel {

void ControllerSettings::RememberRefused(std::string_view address) {
    recentRefused.emplace_back(address.substr(0, kRecentRefusedChars));
    while (recentRefused.size() > kRecentRefusedLimit) recentRefused.pop_front();
}

}  // namespace sentrel
