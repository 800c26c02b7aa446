#include "settings/last_sync.h"

#include <cstdio>

namespace sentrel {

std::string FormatLastSync(const std::tm& t) {
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* month = t.tm_mon >= 0 && t.tm_mon < 12 ? kMonths[t.tm_mon] : "???";
    char text[64];
    std::snprintf(text, sizeof text, "%s %02d, %04d; %02d:%02d:%02d", month, t.tm_mday, t.tm_year + 1900,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

}  // namespace sentrel
