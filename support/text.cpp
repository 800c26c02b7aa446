#include "support/text.h"

#include "support/platform.h"

#include <algorithm>
#include <iterator>
#include <new>

namespace sentrel {

#ifdef _WIN32

std::string ToNarrow(WideView wide) {
    if (wide.empty()) return {};
    const auto* source = reinterpret_cast<const wchar_t*>(wide.data());
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, source, length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) throw std::bad_alloc();
    std::string narrow(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, source, length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

WideString ToWide(std::string_view narrow) {
    if (narrow.empty()) return {};
    const int length = static_cast<int>(narrow.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, nullptr, 0);
    if (needed <= 0) throw std::bad_alloc();
    WideString wide(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, reinterpret_cast<wchar_t*>(wide.data()), needed);
    return wide;
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
std::string ToNarrow(WideView wide) {
    std::string narrow;
    narrow.reserve(wide.size());
    for (char16_t c : wide) narrow.push_back(NarrowOf(c));
    return narrow;
}

WideString ToWide(std::string_view narrow) {
    WideString wide;
    wide.reserve(narrow.size());
    for (char c : narrow) {
        const auto byte = static_cast<unsigned char>(c);
        wide.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : kCp1252Upper[byte - 0x80]);
    }
    return wide;
}

#endif

bool NarrowsExactly(WideView wide) {
    for (char16_t c : wide) {
        if (c >= 0x80 && ToWide(ToNarrow(WideView(&c, 1))) != WideView(&c, 1)) return false;
    }
    return true;
}

WideString WidenAscii(std::string_view ascii) {
    return WideString(ascii.begin(), ascii.end());
}

}  // namespace sentrel
