// A JSON string for the checker's --json output.
#pragma once

#include "support/text.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace sentrel::check {

// The narrow text read in the system code page, quoted and escaped.
inline std::string Json(std::string_view narrow) {
    std::string out = "\"";
    for (const char16_t c : ToWide(narrow)) {
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out + "\"";
}

}  // namespace sentrel::check
