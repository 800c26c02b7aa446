#include "support/canonical_host.h"

#include "support/ascii.h"
#include "support/idna.h"
#include "support/text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace sentrel {
namespace {

constexpr std::string_view kPortMark = "%3A";  // the colon, as the split leaves it
constexpr size_t kLongestLabel = 63;
constexpr size_t kLongestName = 253;

// The code points of a host name: the code page's characters as they are,
// percent escapes as the UTF-8 bytes they spell (a run of them at a time).
std::optional<std::u32string> DecodeName(std::string_view name) {
    const WideString wide = ToWide(name);
    const WideView text(wide);
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != u'%') {
            const size_t end = std::min(text.find(u'%', i), text.size());
            if (!AppendCodePointsOfUtf16(text.substr(i, end - i), out)) return std::nullopt;
            i = end;
            continue;
        }
        std::string escaped;
        for (; i < text.size() && text[i] == u'%'; i += 3) {
            const int byte = PercentEscapeAt(text, i);
            if (byte < 0) return std::nullopt;
            escaped += static_cast<char>(byte);
        }
        if (!AppendCodePointsOfUtf8(escaped, out)) return std::nullopt;
    }
    return out;
}

bool IsLabelSeparator(char32_t c) { return c == '.' || c == 0x3002 || c == 0xFF0E || c == 0xFF61; }

// The ASCII a label may hold. The underscore is no letter of a host name's
// standard, but real hosts carry it and browsers go there.
bool IsHostAscii(char32_t c) {
    return (c >= 'a' && c <= 'z') || IsAsciiDigit(c) || c == '-' || c == '_';
}

bool IsNumberLabel(std::string_view label) {
    if (label.empty()) return false;
    size_t from = 0;
    bool hex = false;
    if (label.size() >= 2 && label[0] == '0' && label[1] == 'x') from = 2, hex = true;
    for (size_t i = from; i < label.size(); ++i) {
        if (hex ? HexDigitValue(label[i]) < 0 : !IsAsciiDigit(label[i])) return false;
    }
    return true;
}

// One part of an IPv4 address: decimal, octal after "0", hex after "0x".
std::optional<std::uint64_t> NumberOf(std::string_view label) {
    unsigned base = 10;
    if (label.size() >= 2 && label[0] == '0' && label[1] == 'x') {
        base = 16, label.remove_prefix(2);
    } else if (label.size() >= 2 && label[0] == '0') {
        base = 8, label.remove_prefix(1);
    }
    std::uint64_t value = 0;
    for (const char c : label) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base) return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return value;
}

// The name as dotted decimal when its last label is a number (a browser then
// takes the whole name as an IPv4 address, or refuses it).
std::optional<std::string> DottedDecimal(const std::vector<std::string>& labels) {
    if (labels.size() > 4) return std::nullopt;
    std::uint64_t address = 0;
    for (size_t i = 0; i < labels.size(); ++i) {
        const std::optional<std::uint64_t> part = NumberOf(labels[i]);
        if (!part) return std::nullopt;
        const bool last = i + 1 == labels.size();
        if (!last) {
            if (*part > 255) return std::nullopt;
            address = (address << 8) | *part;
        } else {
            const unsigned restBits = 8 * static_cast<unsigned>(5 - labels.size());
            if (restBits < 32 && *part >= (1ull << restBits)) return std::nullopt;
            address = (address << restBits) | *part;
        }
    }
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFF) + '.' +
           std::to_string((address >> 8) & 0xFF) + '.' + std::to_string(address & 0xFF);
}

// A name of ASCII letters, digits, '-', '_' and dots: lower case, one
// trailing dot dropped, checked label by label as the full way below does.
// Nothing where the full way is needed: another character, or a last label
// that is a number (an address).
std::optional<std::optional<std::string>> PlainAsciiName(std::string_view name) {
    std::string canonical(name);
    for (char& c : canonical) {
        if (!IsHostAscii(static_cast<unsigned char>(AsciiLower(c))) && c != '.') return std::nullopt;
        c = AsciiLower(c);
    }
    if (canonical.size() > 1 && canonical.back() == '.') canonical.pop_back();  // the trailing dot
    size_t labelStart = 0;
    for (size_t i = 0; i <= canonical.size(); ++i) {
        if (i < canonical.size() && canonical[i] != '.') continue;
        if (i == labelStart || i - labelStart > kLongestLabel) return std::optional<std::string>();
        labelStart = i + 1;
    }
    if (IsNumberLabel(std::string_view(canonical).substr(canonical.rfind('.') + 1))) return std::nullopt;
    if (canonical.size() > kLongestName) return std::optional<std::string>();
    return std::optional<std::string>(std::move(canonical));
}

std::optional<std::string> CanonicalName(std::string_view name) {
    // Nearly every name is plain ASCII: canonical without decoding.
    if (std::optional<std::optional<std::string>> plain = PlainAsciiName(name)) return std::move(*plain);
    std::optional<std::u32string> decoded = DecodeName(name);
    if (!decoded) return std::nullopt;
    for (char32_t& c : *decoded) {
        c = AsciiLower(c);
        if (IsLabelSeparator(c)) c = '.';
    }
    std::vector<std::u32string_view> labels;
    const std::u32string_view text(*decoded);
    for (size_t start = 0;;) {
        const size_t dot = text.find(U'.', start);
        labels.push_back(text.substr(start, dot == std::u32string_view::npos ? std::u32string_view::npos : dot - start));
        if (dot == std::u32string_view::npos) break;
        start = dot + 1;
    }
    if (labels.size() > 1 && labels.back().empty()) labels.pop_back();  // the trailing dot
    for (const std::u32string_view label : labels) {
        if (label.empty()) return std::nullopt;
    }
    // Each label in its ASCII form first: digits in other forms (full-width,
    // superscript) are digits to a browser, and make an address.
    std::vector<std::string> parts;
    for (const std::u32string_view label : labels) {
        bool ascii = true;
        for (const char32_t c : label) ascii = ascii && c < 0x80;
        std::string part;
        if (ascii) {
            for (const char32_t c : label) part += static_cast<char>(c);
        } else {
            const std::optional<std::string> encoded = LabelToAscii(label);
            if (!encoded) return std::nullopt;
            for (const char c : *encoded) part += AsciiLower(c);
        }
        if (part.empty() || part.size() > kLongestLabel) return std::nullopt;
        for (const char c : part) {
            if (!IsHostAscii(static_cast<unsigned char>(c))) return std::nullopt;
        }
        parts.push_back(std::move(part));
    }
    if (IsNumberLabel(parts.back())) return DottedDecimal(parts);

    std::string canonical;
    for (const std::string& part : parts) {
        if (!canonical.empty()) canonical += '.';
        canonical += part;
    }
    if (canonical.size() > kLongestName) return std::nullopt;
    return canonical;
}

// An IPv6 address (colons as ':'), as its eight groups.
std::optional<std::array<std::uint16_t, 8>> ParseIPv6(std::string_view text) {
    std::array<std::uint16_t, 8> groups{};
    size_t count = 0, i = 0;
    std::optional<size_t> compress;
    if (text.substr(0, 2) == "::") {
        compress = 0, i = 2;
    } else if (!text.empty() && text[0] == ':') {
        return std::nullopt;
    }
    while (i < text.size()) {
        if (count == 8) return std::nullopt;
        if (text[i] == ':') {
            if (compress) return std::nullopt;
            compress = count, ++i;
            continue;
        }
        size_t digits = 0;
        unsigned value = 0;
        while (i < text.size() && digits < 4 && HexDigitValue(text[i]) >= 0) {
            value = value * 16 + static_cast<unsigned>(HexDigitValue(text[i]));
            ++i, ++digits;
        }
        if (i < text.size() && text[i] == '.') {
            // Embedded IPv4 in the last two groups: four decimal parts.
            if (digits == 0 || count > 6) return std::nullopt;
            i -= digits;
            unsigned parts = 0;
            while (i < text.size()) {
                if (parts > 0) {
                    if (text[i] != '.' || parts == 4) return std::nullopt;
                    ++i;
                }
                if (i >= text.size() || !IsAsciiDigit(text[i])) return std::nullopt;
                unsigned part = 0;
                size_t partDigits = 0;
                while (i < text.size() && IsAsciiDigit(text[i])) {
                    if (partDigits > 0 && part == 0) return std::nullopt;  // no leading zero
                    part = part * 10 + static_cast<unsigned>(text[i] - '0');
                    if (part > 255) return std::nullopt;
                    ++i, ++partDigits;
                }
                groups[count] = static_cast<std::uint16_t>(groups[count] * 256 + part);
                if (++parts % 2 == 0) ++count;
            }
            if (parts != 4) return std::nullopt;
            break;
        }
        if (digits == 0) return std::nullopt;
        groups[count++] = static_cast<std::uint16_t>(value);
        if (i < text.size()) {
            if (text[i] != ':') return std::nullopt;
            ++i;
            if (i == text.size()) return std::nullopt;  // a trailing single colon
        }
    }
    if (compress) {
        if (count == 8) return std::nullopt;  // "::" stands for at least one group
        const size_t moved = count - *compress;
        for (size_t k = 0; k < moved; ++k) groups[7 - k] = groups[count - 1 - k];
        for (size_t k = *compress; k < 8 - moved; ++k) groups[k] = 0;
    } else if (count != 8) {
        return std::nullopt;
    }
    return groups;
}

// Lower-case hex groups without leading zeros, the longest run of two or
// more zero groups (the first of equal runs) as "::".
std::string CompressedIPv6(const std::array<std::uint16_t, 8>& groups) {
    size_t bestStart = 8, bestLength = 1;
    for (size_t i = 0; i < 8;) {
        if (groups[i] != 0) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < 8 && groups[j] == 0) ++j;
        if (j - i > bestLength) bestStart = i, bestLength = j - i;
        i = j;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < 8; ++i) {
        if (i == bestStart) {
            out += "::";
            i += bestLength - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') out += ':';
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = (groups[i] >> shift) & 0xF;
            if (digit || started || shift == 0) out += kHex[digit], started = true;
        }
    }
    return out;
}

// "%3A" and digits, or nothing: the port without leading zeros; nullopt for
// anything else or a number beyond 65535.
std::optional<std::string> CanonicalPort(std::string_view rest) {
    if (rest.empty()) return std::string();
    if (rest.substr(0, kPortMark.size()) != kPortMark) return std::nullopt;
    rest.remove_prefix(kPortMark.size());
    if (rest.empty()) return std::string();  // "host:" is the host
    unsigned long value = 0;
    for (const char c : rest) {
        if (!IsAsciiDigit(c)) return std::nullopt;
        value = value * 10 + static_cast<unsigned long>(c - '0');
        if (value > 65535) return std::nullopt;
    }
    return std::string(kPortMark) + std::to_string(value);
}

}  // namespace

std::optional<std::string> CanonicalHost(std::string_view host) {
    if (host.empty()) return std::nullopt;
    if (host.front() == '[') {
        const size_t close = host.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        std::string inside;
        for (size_t i = 1; i < close; ++i) {
            if (host.substr(i, kPortMark.size()) == kPortMark) {
                inside += ':';
                i += kPortMark.size() - 1;
            } else {
                inside += host[i];
            }
        }
        const auto groups = ParseIPv6(inside);
        const std::optional<std::string> port = CanonicalPort(host.substr(close + 1));
        if (!groups || !port) return std::nullopt;
        // An IPv4-mapped address reaches the IPv4 host: it is that host.
        const auto& g = *groups;
        if (g[0] == 0 && g[1] == 0 && g[2] == 0 && g[3] == 0 && g[4] == 0 && g[5] == 0xFFFF)
            return std::to_string(g[6] >> 8) + '.' + std::to_string(g[6] & 0xFF) + '.' + std::to_string(g[7] >> 8) +
                   '.' + std::to_string(g[7] & 0xFF) + *port;
        return "[" + CompressedIPv6(*groups) + "]" + *port;
    }
    const size_t mark = host.find(kPortMark);
    const std::optional<std::string> name = CanonicalName(host.substr(0, mark));
    const std::optional<std::string> port =
        CanonicalPort(mark == std::string_view::npos ? std::string_view() : host.substr(mark));
    if (!name || !port) return std::nullopt;
    return *name + *port;
}

std::optional<std::string> CanonicalEntry(std::string_view entry) {
    if (entry.substr(0, 2) == "*.") {
        entry.remove_prefix(2);
    } else if (entry.substr(0, 1) == ".") {
        entry.remove_prefix(1);
    }
    std::string host;
    for (const char c : entry) {
        if (c == ':') {
            host += kPortMark;
        } else {
            host += c;
        }
    }
    return CanonicalHost(host);
}

NameAndPort SplitCanonicalHost(std::string_view canonical) {
    const size_t close = !canonical.empty() && canonical.front() == '[' ? canonical.find(']') : 0;
    const size_t mark = canonical.find(kPortMark, close == std::string_view::npos ? 0 : close);
    if (mark == std::string_view::npos) return {canonical, {}};
    return {canonical.substr(0, mark), canonical.substr(mark + kPortMark.size())};
}

bool IsAddressLiteral(std::string_view name) {
    if (name.empty()) return false;
    if (name.front() == '[') return true;
    const size_t dot = name.rfind('.');
    const std::string_view last = dot == std::string_view::npos ? name : name.substr(dot + 1);
    return !last.empty() && last.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace sentrel
