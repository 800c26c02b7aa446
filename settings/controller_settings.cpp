#include "settings/controller_settings.h"

namespace sentrel {

void ControllerSettings::RememberRefused(std::string address) {
    recentRefused.push_back(std::move(address));
    while (recentRefused.size() > kRecentRefusedLimit) recentRefused.pop_front();
}

}  // namespace sentrel
