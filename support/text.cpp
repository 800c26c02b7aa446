#include "support/text.h"

#include "support/ascii.h"
#include "support/platform.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <type_traits>

namespace sentrel {

#ifdef _WIN32

namespace {

// ASCII is the same in every ANSI code page: such text is copied as it is,
// without the cost of a conversion call (a list of host names is nearly all
// ASCII, one call a name).
template <typename Char>
bool IsAscii(std::basic_string_view<Char> text) {
    return std::all_of(text.begin(), text.end(),
                       [](Char c) { return static_cast<std::make_unsigned_t<Char>>(c) < 0x80; });
}

}  // namespace

void ToNarrow(WideView wide, std::string& narrow) {
    if (IsAscii(wide)) {
        narrow.assign(wide.begin(), wide.end());
        return;
    }
    const auto* source = reinterpret_cast<const wchar_t*>(wide.data());
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, source, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) throw std::bad_alloc();
    narrow.resize(static_cast<size_t>(needed));
    WideCharToMultiByte(CP_ACP, 0, source, length, narrow.data(), needed, nullptr, nullptr);
}

void ToWide(std::string_view narrow, WideString& wide) {
    if (IsAscii(narrow)) {
        wide.assign(narrow.begin(), narrow.end());
        return;
    }
    const int length = static_cast<int>(narrow.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, nullptr, 0);
    if (needed <= 0) throw std::bad_alloc();
    wide.resize(static_cast<size_t>(needed));
    MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, reinterpret_cast<wchar_t*>(wide.data()), needed);
}

#else

namespace {

#include "support/cp1252_table.inc"

char NarrowOf(char16_t c) {
    if (c < 0x80) return static_cast<char>(c);
    if (c <= 0xFF) {
        for (size_t i = 0; kCp1252LowExceptions[i].character != 0; ++i) {
            if (kCp1252LowExceptions[i].character == c) return static_cast<char>(kCp1252LowExceptions[i].byte);
        }
        return static_cast<char>(c);
    }
    const auto* first = std::begin(kCp1252BestFit);
    const auto* last = std::end(kCp1252BestFit);
    const auto* found = std::lower_bound(first, last, c, [](const auto& entry, char16_t wanted) {
        return entry.character < wanted;
    });
    return found != last && found->character == c ? static_cast<char>(found->byte) : '?';
}

}  // namespace

// Code page 1252, as the Windows build converts under the test prefixes:
// its own characters, best fit for others, '?' for the rest (each half of a
// surrogate pair included).
void ToNarrow(WideView wide, std::string& narrow) {
    narrow.clear();
    narrow.reserve(wide.size());
    for (char16_t c : wide) narrow.push_back(NarrowOf(c));
}

void ToWide(std::string_view narrow, WideString& wide) {
    wide.clear();
    wide.reserve(narrow.size());
    for (char c : narrow) {
        const auto byte = static_cast<unsigned char>(c);
        wide.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : kCp1252Upper[byte - 0x80]);
    }
}

#endif

std::string ToNarrow(WideView wide) {
    std::string narrow;
    ToNarrow(wide, narrow);
    return narrow;
}

WideString ToWide(std::string_view narrow) {
    WideString wide;
    ToWide(narrow, wide);
    return wide;
}

bool NarrowsExactly(WideView wide) {
    for (char16_t c : wide) {
        if (c >= 0x80 && ToWide(ToNarrow(WideView(&c, 1))) != WideView(&c, 1)) return false;
    }
    return true;
}

WideString WidenAscii(std::string_view ascii) {
    return WideString(ascii.begin(), ascii.end());
}

namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

bool AppendCodePointsOfUtf8(std::string_view utf8, std::u32string& out) {
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        size_t length = 0;
        char32_t c = 0, least = 0;
        if (lead < 0x80) {
            length = 1, c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, c = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, c = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, c = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (i + length > utf8.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < least || c > 0x10FFFF || IsSurrogate(c)) return false;
        out += c;
        i += length;
    }
    return true;
}

bool AppendCodePointsOfUtf16(WideView utf16, std::u32string& out) {
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char32_t c = utf16[i];
        if (!IsSurrogate(c)) {
            out += c;
        } else if (IsHighSurrogate(c) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
            out += 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else {
            return false;
        }
    }
    return true;
}

std::optional<std::u32string> CodePointsOfUtf8(std::string_view utf8) {
    std::u32string out;
    if (!AppendCodePointsOfUtf8(utf8, out)) return std::nullopt;
    return out;
}

std::optional<std::u32string> CodePointsOfUtf16(WideView utf16) {
    std::u32string out;
    if (!AppendCodePointsOfUtf16(utf16, out)) return std::nullopt;
    return out;
}

std::string Utf8Of(std::u32string_view codePoints) {
    std::string out;
    for (const char32_t c : codePoints) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

WideString Utf16Of(std::u32string_view codePoints) {
    WideString out;
    for (const char32_t c : codePoints) {
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const int byte = PercentEscapeAt(text, i);
        if (byte < 0) {
            out += text[i];
        } else {
            out += static_cast<char>(byte);
            i += 2;
        }
    }
    return out;
}

}  // namespace sentrel
