// Text conversion, one table for both builds: natively the built-in code
// page 1252, under Wine the system's (1252 in the test prefixes).
#include "support/text.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sentrel
