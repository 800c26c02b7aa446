#include "support/text.h"

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

}  // namespace sentrel
