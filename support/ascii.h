// ASCII-only character tests for text of any character type: letter case
// and hex digits as URLs and host names use them, whatever the locale.
#pragma once

#include <string_view>

namespace sentrel {

template <typename Char>
constexpr Char AsciiLower(Char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<Char>(c + ('a' - 'A')) : c;
}

// 0 to 15 for a hex digit in either case, -1 for anything else.
template <typename Char>
constexpr int HexDigitValue(Char c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// Whether `text` begins with `prefix`, ASCII letters in either case.
template <typename Char>
constexpr bool StartsWithIgnoringAsciiCase(std::basic_string_view<Char> text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (AsciiLower(text[i]) != static_cast<Char>(AsciiLower(prefix[i]))) return false;
    }
    return true;
}

}  // namespace sentrel
