#include "support/idna.h"

namespace sentrel {
namespace {

// The lower-case form of the letters this build knows, 0 for any other code
// point (which it refuses), or the code point itself when already lower.
char32_t KnownLowerLetter(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E) {  // full-width ASCII
        c -= 0xFF01 - 0x21;
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    }
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;             // Latin-1 capitals
    if (c >= 0xDF && c <= 0xFF && c != 0xF7) return c;                    // Latin-1 small letters
    if (c >= 0x100 && c <= 0x137) return c | 1;                           // Latin Extended-A pairs
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return c + (c % 2);
    if (c >= 0x14A && c <= 0x177) return c | 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;  // Greek capitals
    if (c == 0x3C2) return 0x3C3;                                 // final sigma
    if (c >= 0x3B1 && c <= 0x3C9) return c;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;  // Cyrillic capitals
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x430 && c <= 0x45F) return c;
    if ((c >= 0x3041 && c <= 0x3096) || (c >= 0x30A1 && c <= 0x30FA)) return c;  // kana
    if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3)) return c;  // CJK, Hangul
    return 0;
}

}  // namespace

std::optional<std::string> Punycode(std::u32string_view input) {
    constexpr std::uint32_t kBase = 36, kTMin = 1, kTMax = 26, kSkew = 38, kDamp = 700;
    const auto digit = [](std::uint32_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26)); };
    const auto adapt = [&](std::uint32_t delta, std::uint32_t points, bool first) {
        delta = first ? delta / kDamp : delta / 2;
        delta += delta / points;
        std::uint32_t k = 0;
        while (delta > ((kBase - kTMin) * kTMax) / 2) {
            delta /= kBase - kTMin;
            k += kBase;
        }
        return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
    };
    std::string out;
    for (const char32_t c : input) {
        if (c < 0x80) out += static_cast<char>(c);
    }
    const std::uint32_t basic = static_cast<std::uint32_t>(out.size());
    if (basic > 0) out += '-';
    std::uint32_t n = 0x80, delta = 0, bias = 72, handled = basic;
    while (handled < input.size()) {
        std::uint32_t next = 0xFFFFFFFFu;
        for (const char32_t c : input) {
            if (c >= n && c < next) next = c;
        }
        if (next - n > (0xFFFFFFFFu - delta) / (handled + 1)) return std::nullopt;
        delta += (next - n) * (handled + 1);
        n = next;
        for (const char32_t c : input) {
            if (c < n && ++delta == 0) return std::nullopt;
            if (c != n) continue;
            std::uint32_t q = delta;
            for (std::uint32_t k = kBase;; k += kBase) {
                const std::uint32_t t = k <= bias ? kTMin : k >= bias + kTMax ? kTMax : k - bias;
                if (q < t) break;
                out += digit(t + (q - t) % (kBase - t));
                q = (q - t) / (kBase - t);
            }
            out += digit(q);
            bias = adapt(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return out;
}

std::optional<std::string> LabelToAscii(std::u32string_view label) {
    std::u32string mapped;
    bool ascii = true;
    for (const char32_t c : label) {
        const char32_t lower = c < 0x80 ? c : KnownLowerLetter(c);
        if (lower == 0) return std::nullopt;
        if (lower == 0xDF) {  // sharp s: "ss", as IDNA 2003 maps it
            mapped += U"ss";
            continue;
        }
        ascii = ascii && lower < 0x80;
        mapped += lower;
    }
    if (ascii) return std::string(mapped.begin(), mapped.end());
    const std::optional<std::string> encoded = Punycode(mapped);
    if (!encoded) return std::nullopt;
    return "xn--" + *encoded;
}

}  // namespace sentrel
