// Conversion between the wide (UTF-16) text of COM strings and the narrow
// 8-bit text that the decision logic works on. Windows uses the system's ANSI
// code page; the native build converts as Windows does with code page 1252
// (its own characters, best fit, '?' for the rest), so that both builds make
// the same decisions.
#pragma once

#include <string>
#include <string_view>

namespace sentrel {

using WideString = std::u16string;
using WideView = std::u16string_view;

// The whole text is converted, embedded NUL characters included.
std::string ToNarrow(WideView wide);
WideString ToWide(std::string_view narrow);
// The same into `narrow` or `wide`, replacing its text and reusing its
// memory: for many short texts converted one after another.
void ToNarrow(WideView wide, std::string& narrow);
void ToWide(std::string_view narrow, WideString& wide);

#ifdef _WIN32
// Windows' wchar_t text is UTF-16 too.
inline WideView AsWideView(std::wstring_view text) {
    return WideView(reinterpret_cast<const char16_t*>(text.data()), text.size());
}
// Narrow text (a path, say) as the wide string Windows' W calls take.
inline std::wstring ToWindowsWide(std::string_view narrow) {
    const WideString wide = ToWide(narrow);
    return std::wstring(wide.begin(), wide.end());
}
#endif

// True when every character of `wide` has a byte of its own in the narrow
// code page, so that ToNarrow neither substitutes a look-alike (best fit:
// '\uFF0F' becomes '/') nor a '?'.
bool NarrowsExactly(WideView wide);

// Literal helper for tests and constants: plain ASCII only.
WideString WidenAscii(std::string_view ascii);

}  // namespace sentrel
