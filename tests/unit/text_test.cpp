// Text conversion, one table for both builds: natively the built-in code
// page 1252, under Wine the system's (1252 in the test prefixes). Then the
// ASCII character tests, percent escapes and UTF-8 and UTF-16.
#include "support/ascii.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <optional>
#include <string>

namespace sentrel {
namespace {

TEST(Text, NarrowsAsCodePage1252WithBestFit) {
    const struct {
        WideString wide;
        std::string narrow;
    } cases[] = {
        {u"plain ascii", "plain ascii"},
        {u"\u00e9\u00fc\u00ff", "\xe9\xfc\xff"},
        {u"\u20ac\u2019\u2013\u0178", "\x80\x92\x96\x9f"},
        {u"\u0101\u0142", "al"},             // best fit: the letter without its mark
        {u"\uff20\uff0e\uff0f", "@./"},      // full-width forms
        {u"\u0081\u008d\u008f\u0090\u009d", "\x81\x8d\x8f\x90\x9d"},  // the undefined bytes pass through
        {u"\u0080\u0099", "??"},
        {u"\u4e2d", "?"},
        {WideString{0xD83D, 0xDE00}, "??"},  // each half of a surrogate pair
        {WideString(u"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToNarrow(c.wide), c.narrow) << c.narrow;
        // Exact only where nothing was substituted.
        EXPECT_EQ(NarrowsExactly(c.wide), ToWide(c.narrow) == c.wide) << c.narrow;
    }
}

TEST(Text, WidensEveryUpperByteToItsCharacter) {
    EXPECT_EQ(ToWide("\x80\x81\x9f\xa0\xff"), (WideString{0x20AC, 0x0081, 0x0178, 0x00A0, 0x00FF}));
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string narrow(1, static_cast<char>(byte));
        EXPECT_EQ(ToNarrow(ToWide(narrow)), narrow) << byte;
    }
}

// What the C library answers for one byte in the locale in force.
struct CharacterClass {
    bool digit, letter, alphanumeric, space, upper;
    int lower;
    bool operator==(const CharacterClass&) const = default;
};

CharacterClass LibraryClassOf(unsigned char byte) {
    return {std::isdigit(byte) != 0, std::isalpha(byte) != 0, std::isalnum(byte) != 0, std::isspace(byte) != 0,
            std::isupper(byte) != 0, std::tolower(byte)};
}

CharacterClass AsciiClassOf(char c) {
    return {IsAsciiDigit(c), IsAsciiLetter(c), IsAsciiAlphanumeric(c), IsAsciiSpace(c), IsAsciiUpper(c),
            static_cast<unsigned char>(AsciiLower(c))};
}

#ifdef _WIN32
// A locale whose letters go beyond ASCII ("\xe9" is a letter there).
constexpr const char* kEightBitLocale = ".1252";
#else
constexpr const char* kEightBitLocale = nullptr;  // glibc's C.UTF-8 classifies no byte beyond ASCII
#endif

// The C library in the "C" locale is the reference; the ASCII tests keep
// its answers when the process takes a locale with more letters.
TEST(Ascii, AnswersAsTheCLocaleWhateverLocaleTheProcessHas) {
    std::setlocale(LC_ALL, "C");
    CharacterClass reference[256];
    for (int byte = 0; byte < 256; ++byte) reference[byte] = LibraryClassOf(static_cast<unsigned char>(byte));
    for (const char* locale : {"C", kEightBitLocale}) {
        if (!locale) continue;
        ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr) << locale;
        if (locale == kEightBitLocale) EXPECT_TRUE(std::isalpha(0xE9)) << "the locale has letters beyond ASCII";
        for (int byte = 0; byte < 256; ++byte)
            EXPECT_TRUE(AsciiClassOf(static_cast<char>(byte)) == reference[byte]) << byte << " in " << locale;
    }
    std::setlocale(LC_ALL, "C");
}

TEST(Ascii, ComparesIgnoringAsciiCaseOnly) {
    const struct {
        std::string_view text, other;
        bool equal, starts, ends;
    } cases[] = {
        {"RegServer", "regserver", true, true, true},
        {"EMBEDDING", "Embedding", true, true, true},
        {"Explorer", "Explore", false, true, false},
        {"archive.ZIP", ".zip", false, false, true},
        {"a.zip.txt", ".zip", false, false, false},
        {"zip", ".zip", false, false, false},
        {"", "", true, true, true},
        {"x", "", false, true, true},
        {"\xc9t\xc9", "\xe9t\xe9", false, false, false},  // letters of the code page are not folded
        {"@[`{", "`{@[", false, false, false},            // the neighbours of the letters
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EqualsIgnoringAsciiCase(c.text, c.other), c.equal) << c.text << " / " << c.other;
        EXPECT_EQ(StartsWithIgnoringAsciiCase(c.text, c.other), c.starts) << c.text << " / " << c.other;
        EXPECT_EQ(EndsWithIgnoringAsciiCase(c.text, c.other), c.ends) << c.text << " / " << c.other;
        // The same over wide text, where the code page's letters are code points.
        const WideString wide = ToWide(c.text);
        EXPECT_EQ(EqualsIgnoringAsciiCase(WideView(wide), c.other), c.equal) << c.text << " / " << c.other;
        EXPECT_EQ(StartsWithIgnoringAsciiCase(WideView(wide), c.other), c.starts) << c.text << " / " << c.other;
        EXPECT_EQ(EndsWithIgnoringAsciiCase(WideView(wide), c.other), c.ends) << c.text << " / " << c.other;
    }
}

TEST(Text, DecodesPercentEscapesAndLeavesOtherPercentSigns) {
    const struct {
        std::string_view text;
        std::string decoded;
    } cases[] = {
        {"%41%62c", "Abc"},
        {"file:%5C%5Cserver%5cshare", "file:\\\\server\\share"},
        {"%25%34%31", "%41"},  // decoded once
        {"%", "%"},
        {"%4", "%4"},
        {"a%4", "a%4"},
        {"%4g%g4", "%4g%g4"},
        {"%%41", "%A"},
        {"%C3%bc", "\xc3\xbc"},
        {"%00x", std::string("\0x", 2)},
        {"100%", "100%"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PercentDecoded(c.text), c.decoded) << c.text;
        for (size_t at = 0; at < c.text.size(); ++at) {
            const int byte = PercentEscapeAt(c.text, at);
            if (byte < 0) continue;
            EXPECT_EQ(c.text[at], '%') << c.text;
            EXPECT_EQ(byte, HexDigitValue(c.text[at + 1]) * 16 + HexDigitValue(c.text[at + 2])) << c.text;
            const WideString wide = ToWide(c.text);
            EXPECT_EQ(PercentEscapeAt(WideView(wide), at), byte) << c.text;
        }
    }
}

TEST(Text, ReadsStrictUtf8) {
    const struct {
        std::string bytes;
        std::optional<std::u32string> codePoints;
    } cases[] = {
        {"plain", U"plain"},
        {"", U""},
        {"\xc3\xbc\xe2\x82\xac\xf0\x9f\x98\x80", U"\u00fc\u20ac\U0001F600"},
        {"\x7f\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\xf0\x90\x80\x80\xf4\x8f\xbf\xbf",
         U"\u007f\u0080\u07ff\u0800\uffff\U00010000\U0010FFFF"},  // the first and last of each length
        {"\xed\x9f\xbf\xee\x80\x80", U"\ud7ff\ue000"},                  // around the surrogates
        {"\xc0\xae", std::nullopt},                                       // overlong
        {"\xe0\x9f\xbf", std::nullopt},
        {"\xf0\x8f\xbf\xbf", std::nullopt},
        {"\xed\xa0\x80", std::nullopt},  // a surrogate
        {"\xed\xbf\xbf", std::nullopt},
        {"\xf4\x90\x80\x80", std::nullopt},  // beyond U+10FFFF
        {"\xf8\x88\x80\x80\x80", std::nullopt},
        {"\x80", std::nullopt},  // a continuation byte first
        {"\xc3", std::nullopt},  // cut short
        {"a\xe2\x82", std::nullopt},
        {"\xc3\x28", std::nullopt},  // a continuation byte missing
        {"\xff", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodePointsOfUtf8(c.bytes), c.codePoints) << c.bytes;
        if (c.codePoints) EXPECT_EQ(Utf8Of(*c.codePoints), c.bytes) << c.bytes;
    }
}

TEST(Text, ReadsUtf16WithSurrogatesInPairsOnly) {
    const struct {
        WideString text;
        std::optional<std::u32string> codePoints;
    } cases[] = {
        {u"plain \u00fc\u20ac", U"plain \u00fc\u20ac"},
        {u"\U0001F600\U0010FFFF\U00010000", U"\U0001F600\U0010FFFF\U00010000"},
        {WideString{0xD83D}, std::nullopt},
        {WideString{0xDE00}, std::nullopt},
        {WideString{0xDE00, 0xD83D}, std::nullopt},  // the halves in the wrong order
        {WideString{u'a', 0xD83D, u'b'}, std::nullopt},
        {WideString{0xD83D, 0xD83D, 0xDE00}, std::nullopt},
        {WideString(u"a\0b", 3), std::u32string(U"a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CodePointsOfUtf16(c.text), c.codePoints) << ToNarrow(c.text);
        if (c.codePoints) EXPECT_EQ(Utf16Of(*c.codePoints), c.text) << ToNarrow(c.text);
    }
    // The Append forms add to what `out` holds.
    std::u32string out = U"x";
    EXPECT_TRUE(AppendCodePointsOfUtf16(u"\u00fc", out));
    EXPECT_TRUE(AppendCodePointsOfUtf8("\xe2\x82\xac", out));
    EXPECT_EQ(out, U"x\u00fc\u20ac");
}

}  // namespace
}  // namespace sentrel
