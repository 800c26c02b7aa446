#include "tests/differential/address_generator.h"

#include "tests/unit/contacted_host_cases.h"
#include "tests/unit/whole_host_cases.h"

#include <cstdint>

namespace sentrel::differential {
namespace {

// A small generator of our own: the same numbers from every standard library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
    std::uint32_t Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    size_t Below(size_t bound) { return bound ? Next() % bound : 0; }
    bool Chance(unsigned percent) { return Below(100) < percent; }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

private:
    std::uint64_t state_;
};

const char* const kSchemes[] = {"http", "https", "ftp", "HTTP", "Https", "gopher"};
const char* const kHosts[] = {"allowed.test", "www.allowed.test", "evil.test", "intranet", "news.example",
                              "a.b.c.d.example", "xn--bcher-kva.example", "ALLOWED.TEST", "localhost", "x"};
const char* const kPaths[] = {"", "/", "/index.htm", "/a/b/c.html", "/dir/", "/%7Euser/page", "/a%20b",
                              "/search", "/x.php", "/..%2F..%2Fetc"};
const char* const kExtras[] = {"", "?q=1", "?a=b&c=d", "#top", "?q=x#frag", "?redirect=http://evil.test/",
                               "#@evil.test", "?@"};
const char* const kSeparators[] = {"/", "\\", ":", "@", "?", "#", ";", "%", "//", "::", "@@", ":@"};

std::string Component(Random& random, const char* alphabet, size_t length) {
    std::string text;
    const size_t size = std::char_traits<char>::length(alphabet);
    for (size_t i = 0; i < length; ++i) text += alphabet[random.Below(size)];
    return text;
}

std::string Host(Random& random) {
    if (random.Chance(20))
        return std::to_string(random.Below(256)) + "." + std::to_string(random.Below(256)) + "." +
               std::to_string(random.Below(256)) + "." + std::to_string(random.Below(256));
    return random.Pick(kHosts);
}

WideString Widen(const std::string& text) {
    return ToWide(text);
}

// Non-ASCII characters of several kinds: Latin-1, Latin Extended (best fit
// on Windows), the 1252 punctuation, CJK, full-width forms, a surrogate pair.
constexpr char16_t kHighSurrogate = 0xD83D;
constexpr char16_t kLowSurrogate = 0xDE00;
const char16_t kNonAscii[] = {u'\u00e9', u'\u00fc', u'\u0101', u'\u0142', u'\u20ac', u'\u2019', u'\u4e2d',
                              u'\uff20', u'\uff0e', u'\uff0f', u'\u0131', u'\u00a0', u'\u2013', kHighSurrogate};

WideString InsertNonAscii(Random& random, WideString text) {
    const size_t count = 1 + random.Below(3);
    for (size_t i = 0; i < count; ++i) {
        const char16_t c = random.Pick(kNonAscii);
        const size_t at = random.Below(text.size() + 1);
        if (c == kHighSurrogate) {
            text.insert(at, {kHighSurrogate, kLowSurrogate});
        } else {
            text.insert(at, 1, c);
        }
    }
    return text;
}

// Code points for internationalised host names: letters of several scripts
// in both cases, and what IDNA maps, drops or refuses (the deviation
// characters, full-width forms, a hyphen and a full-width one, joiners,
// conjoining and compatibility jamo, a symbol, an emoji, an unassigned and a
// private-use code point, the ideographic full stop).
const char32_t kIdnCharacters[] = {
    U'a', U'z', U'0', U'-', U'_', U'\u00e9', U'\u00c9', U'\u00df', U'\u1e9e', U'\u03b1', U'\u0391', U'\u03c2',
    U'\u03a3', U'\u0390', U'\u043f', U'\u041f', U'\u0451', U'\u0401', U'\u0645', U'\u0627', U'\u0660', U'\u06f0',
    U'\u05d0', U'\u05d3', U'\u4f8b', U'\u6d4b', U'\u30c6', U'\uff83', U'\uc2e4', U'\u0909', U'\u0915', U'\u0e15',
    U'\uff41', U'\uff21', U'\uff0d', U'\uff10', U'\u2460', U'\u212a', U'\ufb01', U'\u00ad', U'\u200d', U'\u200c',
    U'\u1100', U'\u3131', U'\u2603', U'\U0001F600', U'\u0378', U'\ue000', U'\u3002', U'\u2260', U'\u0130',
    U'\u0131'};
// Letters, and the combining marks that follow one: a label that begins with
// a mark is one libidn2 refuses and Wine's IdnToAscii takes.
const char32_t kIdnBases[] = {U'e', U'\u00e9', U'\u03b1', U'\u043f', U'\u0645', U'\u05d0', U'\u0915', U'\u0e15',
                              U'\u30c6'};
const char32_t kIdnMarks[] = {U'\u0301', U'\u0308', U'\u093e', U'\u094d', U'\u0e31', U'\u05b4', U'\u064b',
                              U'\u3099'};

// A host of one to three labels of those code points, each character beyond
// ASCII as the percent escapes of its UTF-8, and sometimes a ".test" after.
std::string InternationalHost(Random& random) {
    std::u32string name;
    const size_t labels = 1 + random.Below(3);
    for (size_t label = 0; label < labels; ++label) {
        if (label > 0) name += U'.';
        const size_t length = 1 + random.Below(6);
        for (size_t i = 0; i < length; ++i) {
            if (random.Chance(15)) {
                name += random.Pick(kIdnBases);
                name += random.Pick(kIdnMarks);
            } else {
                name += random.Pick(kIdnCharacters);
            }
        }
    }
    std::string host;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : Utf8Of(name)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            host += c;
        } else {
            host += '%';
            host += kHex[byte >> 4];
            host += kHex[byte & 0xF];
        }
    }
    return random.Chance(50) ? host + ".test" : host;
}

GeneratedAddress Make(Random& random, size_t kindIndex) {
    const std::string scheme = random.Pick(kSchemes);
    const std::string host = Host(random);
    const std::string path = random.Pick(kPaths);
    const std::string extra = random.Pick(kExtras);
    switch (kindIndex) {
    case 0:
        return {"plain", Widen(scheme + "://" + host + path + extra)};
    case 1:
        return {"scheme-less", Widen(host + path + extra)};
    case 2:
        return {"port", Widen(scheme + "://" + host + ":" + std::to_string(random.Below(70000)) + path)};
    case 3: {
        std::string user = Component(random, "abcxyz", 1 + random.Below(4));
        if (random.Chance(50)) user += ":" + Component(random, "pw12", 1 + random.Below(4));
        return {"user", Widen(scheme + "://" + user + "@" + host + path + extra)};
    }
    case 4: {
        // Several "@": what a browser takes as user information, and what not.
        std::string authority = Component(random, "uvw", 1 + random.Below(3));
        const size_t more = 1 + random.Below(3);
        for (size_t i = 0; i < more; ++i) authority += "@" + std::string(random.Pick(kHosts));
        return {"several-at", Widen(scheme + "://" + authority + path + extra)};
    }
    case 5:
        return {"ipv6", Widen(scheme + "://[" + Component(random, "0123456789abcdef:", 2 + random.Below(12)) + "]" +
                              (random.Chance(50) ? ":" + std::to_string(random.Below(9000)) : "") + path)};
    case 6:
        return {"percent", Widen(scheme + "://" + host + "/" + Component(random, "%0123456789ABCDEFxyz/", 3 + random.Below(12)))};
    case 7:
        return {"backslash", Widen(scheme + ":" + Component(random, "\\/", 1 + random.Below(3)) + host +
                                   Component(random, "\\/ab", random.Below(6)))};
    case 8: {
        const char* const local[] = {"C:\\Pages\\page.htm", "c:/docs/a.html", "\\\\server\\share\\x.htm",
                                     "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", "file:///C:/x.htm",
                                     "res://ieframe.dll/navcancl.htm", "about:blank", "javascript:void(0)",
                                     "mailto:someone@allowed.test", "vbscript:msgbox(1)", "Z:", "about:home"};
        return {"local-and-script", Widen(random.Pick(local))};
    }
    case 9: {
        // Components at and around the limits of the split.
        const size_t limits[] = {254, 255, 256, 2046, 2047, 2048, 4094, 4095, 4096};
        const size_t length = limits[random.Below(9)];
        switch (random.Below(4)) {
        case 0:
            return {"length", Widen(Component(random, "abc", length) + "://h/")};
        case 1:
            return {"length", Widen("http://" + Component(random, "abc.", length) + "/")};
        case 2:
            return {"length", Widen("http://h/" + Component(random, "abc/", length))};
        default:
            return {"length", Widen("http://h/p?" + Component(random, "abc=&", length))};
        }
    }
    case 10:
        return {"random-text", Widen(Component(random, "abcdefghij.:/\\@?#%-_=&0123456789ABC ", 1 + random.Below(40)))};
    case 11: {
        std::string text = scheme;
        const size_t parts = 2 + random.Below(5);
        for (size_t i = 0; i < parts; ++i) text += std::string(random.Pick(kSeparators)) + random.Pick(kHosts);
        return {"separators", Widen(text)};
    }
    case 12: {
        std::string text = scheme + "://" + host;
        for (size_t i = 0; i < 2 + random.Below(4); ++i) text += ":" + std::to_string(random.Below(100));
        return {"colons", Widen(text + path)};
    }
    case 13: {
        std::string text = scheme + "://" + host + path;
        const char controls[] = {'\t', '\r', '\x01', '\x1f', '\x7f', '\x0b'};
        text.insert(random.Below(text.size() + 1), 1, controls[random.Below(6)]);
        return {"control", Widen(text)};
    }
    case 14:
        return {"non-ascii", InsertNonAscii(random, Widen(scheme + "://" + host + path + extra))};
    case 15: {
        // '#' inside what the splitter would take as the authority.
        std::string text = scheme + "://" + host + "#" + random.Pick(kHosts);
        const char* const after[] = {"?", "?x", "@" , "/", "?@", "@x?"};
        text += after[random.Below(6)];
        if (random.Chance(50)) text += random.Pick(kHosts);
        return {"fragment-authority", Widen(text + path)};
    }
    case 16: {
        // Characters no host name has, or escapes, inside the host.
        const char* const inserted[] = {" ", "%2E", "%41", "%3a", "%3A", "%", "\t", "\x01", "%25", "%3A80"};
        std::string name = host;
        name.insert(random.Below(name.size() + 1), inserted[random.Below(10)]);
        return {"host-characters", Widen(scheme + "://" + name + path + extra)};
    }
    case 17:
        return {"idn-host", Widen(scheme + "://" + InternationalHost(random) + path)};
    default: {
        // Web addresses whose host is not in its place.
        const char* const separators[] = {":///", ":/", ":", "://", ":////", ":\\\\\\"};
        return {"empty-host", Widen(scheme + separators[random.Below(6)] + host + path + extra)};
    }
    }
}

}  // namespace

std::vector<GeneratedAddress> GenerateAddresses(unsigned seed, size_t count) {
    constexpr size_t kKinds = 19;
    Random random(seed);
    std::vector<GeneratedAddress> addresses;
    addresses.reserve(count);
    for (size_t i = 0; i < count; ++i) addresses.push_back(Make(random, i % kKinds));
    // And the fixed cases of the decision table.
    for (const auto& c : testing::kContactedHostCases) addresses.push_back({"contacted-host", c.url});
    for (const auto& c : testing::kEmptyHostCases) addresses.push_back({"contacted-host", c.url});
    for (const auto& c : testing::kWholeHostCases) addresses.push_back({"whole-host", c.url});
    return addresses;
}

}  // namespace sentrel::differential
