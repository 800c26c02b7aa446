#include "support/idna.h"

#include "support/ascii.h"
#include "support/text.h"

#include <windows.h>

namespace sentrel {
namespace {

// A host name's label is at most 63 characters; room to spare for labels
// that mapping shortens.
constexpr int kLabelRoom = 256;

// IDNA's hyphen rules for the mapped form of a label, which IdnToAscii
// without STD3 rules lets pass: no hyphen first or last, and none in both
// the third and fourth place unless the label is an ASCII form itself.
bool BreaksHyphenRules(std::wstring_view mapped) {
    if (mapped.empty()) return false;
    if (mapped.front() == L'-' || mapped.back() == L'-') return true;
    return mapped.size() >= 4 && mapped[2] == L'-' && mapped[3] == L'-' &&
           !StartsWithIgnoringAsciiCase(mapped, "xn");
}

}  // namespace

std::optional<std::string> LabelToAscii(std::u32string_view label) {
    const WideString utf16 = Utf16Of(label);
    const auto* source = reinterpret_cast<const wchar_t*>(utf16.data());
    const int length = static_cast<int>(utf16.size());
    // No flags: unassigned code points are refused, and the host characters
    // are checked by the caller.
    wchar_t ascii[kLabelRoom];
    const int asciiLength = IdnToAscii(0, source, length, ascii, kLabelRoom);
    if (asciiLength <= 0) return std::nullopt;
    wchar_t mapped[kLabelRoom];
    const int mappedLength = IdnToNameprepUnicode(0, source, length, mapped, kLabelRoom);
    if (mappedLength <= 0 || BreaksHyphenRules(std::wstring_view(mapped, static_cast<size_t>(mappedLength))))
        return std::nullopt;
    std::string narrow;
    for (int i = 0; i < asciiLength; ++i) {
        if (ascii[i] >= 0x80) return std::nullopt;
        narrow += static_cast<char>(ascii[i]);
    }
    return narrow;
}

}  // namespace sentrel
