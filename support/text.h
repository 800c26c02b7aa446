// Conversion between the wide (UTF-16) text of COM strings and the narrow
// 8-bit text that the decision logic works on. Windows uses the system's ANSI
// code page; the native build converts as Windows does with code page 1252
// (its own characters, best fit, '?' for the rest), so that both builds make
// the same decisions. Beside them: code points from and to UTF-8 and UTF-16,
// and percent decoding.
#pragma once

#include <optional>
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

// Strict UTF-8 (no overlong forms, no surrogates, nothing beyond U+10FFFF)
// and UTF-16 (surrogates only in pairs). The Append forms add the code
// points to `out` and return false, `out` then holding part of them, when
// the text is not well formed.
bool AppendCodePointsOfUtf8(std::string_view utf8, std::u32string& out);
bool AppendCodePointsOfUtf16(WideView utf16, std::u32string& out);
std::optional<std::u32string> CodePointsOfUtf8(std::string_view utf8);
std::optional<std::u32string> CodePointsOfUtf16(WideView utf16);

// Code points (valid ones: no surrogates, nothing beyond U+10FFFF) as UTF-8
// and as UTF-16.
std::string Utf8Of(std::u32string_view codePoints);
WideString Utf16Of(std::u32string_view codePoints);

// The text with every percent escape ("%" and two hex digits) replaced by the
// byte it spells; a '%' without two hex digits stays as it is.
std::string PercentDecoded(std::string_view text);

}  // namespace sentrel
