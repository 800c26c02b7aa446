// The text of the "Last Sync" registry value: local time as
// "%b %d, %Y; %H:%M:%S" with English month abbreviations, whatever the locale.
#pragma once

#include <ctime>
#include <string>

namespace sentrel {

std::string FormatLastSync(const std::tm& localTime);

}  // namespace sentrel
