#include "support/text.h"

#include "support/platform.h"

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

std::string ToNarrow(WideView wide) {
    std::string narrow;
    narrow.reserve(wide.size());
    for (char16_t c : wide) narrow.push_back(c < 0x100 ? static_cast<char>(c) : '?');
    return narrow;
}

WideString ToWide(std::string_view narrow) {
    WideString wide;
    wide.reserve(narrow.size());
    for (char c : narrow) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

#endif

WideString WidenAscii(std::string_view ascii) {
    return WideString(ascii.begin(), ascii.end());
}

}  // namespace sentrel
