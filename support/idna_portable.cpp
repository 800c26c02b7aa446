#include "support/idna.h"

#include <idn2.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace sentrel {
namespace {

// Transitional processing is what Windows' IdnToAscii applies; no STD3 rules,
// as the Windows build passes no flags (the caller checks the characters).
constexpr int kWindowsProcessing = IDN2_NFC_INPUT | IDN2_TRANSITIONAL;

// Text that libidn2 allocated.
struct Idn2Free {
    void operator()(void* text) const { idn2_free(text); }
};
using Idn2Ascii = std::unique_ptr<char, Idn2Free>;
using Idn2CodePoints = std::unique_ptr<std::uint32_t, Idn2Free>;

bool IsConjoiningJamo(std::uint32_t c) { return c >= 0x1100 && c <= 0x11FF; }

// Whether the label that `ascii` encodes holds a conjoining jamo, which
// Windows refuses and transitional processing keeps.
bool HoldsConjoiningJamo(const char* ascii) {
    std::uint32_t* decoded = nullptr;
    if (idn2_to_unicode_8z4z(ascii, &decoded, 0) != IDN2_OK) return true;
    const Idn2CodePoints owned(decoded);
    for (const std::uint32_t* c = owned.get(); c && *c; ++c) {
        if (IsConjoiningJamo(*c)) return true;
    }
    return false;
}

}  // namespace

std::optional<std::string> LabelToAscii(std::u32string_view label) {
    // libidn2 would end the label at a NUL and encode only what precedes it.
    if (label.find(U'\0') != std::u32string_view::npos) return std::nullopt;
    const std::vector<std::uint32_t> codePoints(label.begin(), label.end());
    char* ascii = nullptr;
    if (idn2_to_ascii_4i2(codePoints.data(), codePoints.size(), &ascii, kWindowsProcessing) != IDN2_OK)
        return std::nullopt;
    const Idn2Ascii owned(ascii);
    if (HoldsConjoiningJamo(owned.get())) return std::nullopt;
    return std::string(owned.get());
}

}  // namespace sentrel
