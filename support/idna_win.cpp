#include "support/idna.h"

#include <windows.h>

namespace sentrel {

std::optional<std::string> LabelToAscii(std::u32string_view label) {
    std::wstring wide;
    for (const char32_t c : label) {
        if (c >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(c);
        }
    }
    wchar_t out[256];
    // No flags: unassigned code points are refused, and the host characters
    // are checked by the caller.
    const int length = IdnToAscii(0, wide.c_str(), static_cast<int>(wide.size()), out, 256);
    if (length <= 0) return std::nullopt;
    std::string ascii;
    for (int i = 0; i < length; ++i) {
        if (out[i] >= 0x80) return std::nullopt;
        ascii += static_cast<char>(out[i]);
    }
    return ascii;
}

}  // namespace sentrel
