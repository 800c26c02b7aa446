// ASCII-only character tests for text of any character type: letters,
// digits, white space, letter case, hex digits and percent escapes as URLs,
// host names, command lines and scripts use them, whatever the locale (the
// C library's <cctype> and _stricmp follow the locale a process may set).
#pragma once

#include <string_view>

namespace sentrel {

template <typename Char>
constexpr bool IsAsciiDigit(Char c) {
    return c >= '0' && c <= '9';
}

template <typename Char>
constexpr bool IsAsciiUpper(Char c) {
    return c >= 'A' && c <= 'Z';
}

template <typename Char>
constexpr bool IsAsciiLetter(Char c) {
    return IsAsciiUpper(c) || (c >= 'a' && c <= 'z');
}

template <typename Char>
constexpr bool IsAsciiAlphanumeric(Char c) {
    return IsAsciiLetter(c) || IsAsciiDigit(c);
}

// Space, tab, line feed, vertical tab, form feed and carriage return.
template <typename Char>
constexpr bool IsAsciiSpace(Char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

template <typename Char>
constexpr Char AsciiLower(Char c) {
    return IsAsciiUpper(c) ? static_cast<Char>(c + ('a' - 'A')) : c;
}

// 0 to 15 for a hex digit in either case, -1 for anything else.
template <typename Char>
constexpr int HexDigitValue(Char c) {
    if (IsAsciiDigit(c)) return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// The byte that a percent escape ("%" and two hex digits) at `at` spells, or
// -1 when no escape stands there.
template <typename Char>
constexpr int PercentEscapeAt(std::basic_string_view<Char> text, size_t at) {
    if (at + 2 >= text.size() || text[at] != '%') return -1;
    const int high = HexDigitValue(text[at + 1]);
    const int low = HexDigitValue(text[at + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Whether `a` and `b` are the same text, ASCII letters in either case.
template <typename Char>
constexpr bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < b.size(); ++i) {
        if (AsciiLower(a[i]) != static_cast<Char>(AsciiLower(b[i]))) return false;
    }
    return true;
}

// Whether `text` begins with `prefix`, ASCII letters in either case.
template <typename Char>
constexpr bool StartsWithIgnoringAsciiCase(std::basic_string_view<Char> text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// Whether `text` ends with `suffix`, ASCII letters in either case.
template <typename Char>
constexpr bool EndsWithIgnoringAsciiCase(std::basic_string_view<Char> text, std::string_view suffix) {
    return text.size() >= suffix.size() && EqualsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace sentrel
