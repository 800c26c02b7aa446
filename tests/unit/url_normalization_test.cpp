// One table of addresses, run natively against the portable platform
// equivalents and under Wine against UrlApplySchemeA / InternetCrackUrlA.
// Where Wine's calls give another result than the rule, the row names what
// Wine gives and the Windows build checks that instead.
#include "policy/url_normalization.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace sentrel {
namespace {

struct Split {
    std::string scheme, host, path, extra, rebuilt;
};

struct CrackCase {
    std::u16string address;
    std::optional<Split> expected;           // nullopt: the split fails
    std::optional<Split> onWine = {};        // what Wine's calls give, when different
};

std::u16string Repeat(char16_t c, size_t n) { return std::u16string(n, c); }

std::vector<CrackCase> CrackCases() {
    return {
        {u"host.test", Split{"http", "host.test", "", "", "http://host.test"}},
        {u"abc.de", std::nullopt},
        {u"abcd.efg", Split{"http", "abcd.efg", "", "", "http://abcd.efg"}},
        {u"about:blank", Split{"about", "", "blank", "", "about://blank"}},
        {u"http://host:8080/a/b.htm?x=1",
         Split{"http", "host%3A8080", "/a/b.htm", "?x=1", "http://host%3A8080/a/b.htm"}},
        {u"C:\\Pages\\Refused.htm",
         Split{"file", "", "/C%3A/Pages/Refused.htm", "", "file:///C%3A/Pages/Refused.htm"},
         Split{"file", "", "\\C:\\Pages\\Refused.htm", "", "file://\\C:\\Pages\\Refused.htm"}},
        {u"c:", Split{"file", "", "/c%3A", "", "file:///c%3A"}, Split{"file", "", "\\c:", "", "file://\\c:"}},
        {u"1:/x", Split{"file", "", "/1%3A/x", "", "file:///1%3A/x"}, Split{"file", "", "\\1:\\x", "", "file://\\1:\\x"}},
        {u"http:\\\\host\\dir", Split{"http", "host", "/dir", "", "http://host/dir"}},
        {u"mailto:a:b", Split{"mailto", "", "a%3Ab", "", "mailto://a%3Ab"}},
        {u"", std::nullopt},
        // The fragment is dropped before the split: '#' ends the authority and the path.
        {u"http://someone@h/x?q#f", Split{"http", "h", "/x", "?q", "http://h/x"}},
        {u"http://h#frag", Split{"http", "h", "", "", "http://h"}},
        {u"http://h#frag?q", Split{"http", "h", "", "", "http://h"}},
        {u"http://h#@e/?q", Split{"http", "h", "", "", "http://h"}},
        {u"http://h/p#f?q", Split{"http", "h", "/p", "", "http://h/p"}},
        {u"HTTP://Corp.Test/X", Split{"HTTP", "Corp.Test", "/X", "", "HTTP://Corp.Test/X"}},
        {u"http://a%41b/%7E", Split{"http", "a%41b", "/%7E", "", "http://a%41b/%7E"}},
        // Component limits: host and path 2047, query and fragment 4095, scheme 255.
        {u"http://" + Repeat(u'h', 2047) + u"/p",
         Split{"http", std::string(2047, 'h'), "/p", "", "http://" + std::string(2047, 'h') + "/p"}},
        {u"http://" + Repeat(u'h', 2048) + u"/p", std::nullopt},
        {u"http://h/" + Repeat(u'p', 2046), Split{"http", "h", "/" + std::string(2046, 'p'), "",
                                                  "http://h/" + std::string(2046, 'p')}},
        {u"http://h/" + Repeat(u'p', 2047), std::nullopt},
        {u"http://h/?" + Repeat(u'q', 4094), Split{"http", "h", "/", "?" + std::string(4094, 'q'), "http://h/"}},
        {u"http://h/?" + Repeat(u'q', 4095), std::nullopt},
        {u"http://" + Repeat(u'u', 255) + u"@h/", Split{"http", "h", "/", "", "http://h/"}},
        {u"http://" + Repeat(u'u', 256) + u"@h/", std::nullopt},
        {Repeat(u's', 255) + u"://h/", Split{std::string(255, 's'), "h", "/", "", std::string(255, 's') + "://h/"}},
        {Repeat(u's', 256) + u"://h/", std::nullopt},
        // Text after an embedded NUL is never seen by the splitter.
        {std::u16string(u"http://a\0b/", 11), Split{"http", "a", "", "", "http://a"}},
        // Non-ASCII: Latin-1 letters survive the 8-bit code page, others become '?'.
        {u"http://h\u00e9.test/", Split{"http", "h\xe9.test", "/", "", "http://h\xe9.test/"}},
        // A character the code page lacks, or has only a look-alike for, makes
        // the address unsplittable in the scheme or the authority...
        {u"http://\u4e2d.test/", std::nullopt},
        {u"http://c\u014drp.test/", std::nullopt},
        {u"http://h\uff0fx/", std::nullopt},
        {u"\u4e2d.test/x", std::nullopt},
        {u"htt\u0440://h/", std::nullopt},
        // ... and is replaced as before in the path and the query.
        {u"http://h/\u4e2d?\u0101", Split{"http", "h", "/", "??a", "http://h/"}},
        {u"h.test/\u4e2d", Split{"http", "h.test", "/", "?", "http://h.test/"}},
    };
}

const Split* Expected(const CrackCase& c) {
#ifdef _WIN32
    if (c.onWine) return &*c.onWine;
#endif
    return c.expected ? &*c.expected : nullptr;
}

TEST(CrackURL, SharedCaseTable) {
    for (const CrackCase& c : CrackCases()) {
        const std::string label = ToNarrow(c.address).substr(0, 80);
        URLParts parts;
        const bool ok = CrackURL(c.address, parts);
        const Split* expected = Expected(c);
        ASSERT_EQ(ok, expected != nullptr) << label;
        if (!expected) {
            EXPECT_TRUE(NormalizeURL(c.address).empty()) << label;
            continue;
        }
        EXPECT_EQ(parts.Scheme(), expected->scheme) << label;
        EXPECT_EQ(parts.Host(), expected->host) << label;
        EXPECT_EQ(parts.Path(), expected->path) << label;
        EXPECT_EQ(parts.Extra(), expected->extra) << label;
        EXPECT_EQ(ToNarrow(RebuildURL(parts)), expected->rebuilt) << label;
        EXPECT_EQ(ToNarrow(NormalizeURL(c.address)), expected->rebuilt) << label;
    }
}

TEST(CrackURL, UserInformationStaysWholeInTheUserComponent) {
    URLParts parts;
    ASSERT_TRUE(CrackURL(u"http://user:secret@h/x", parts));
    EXPECT_EQ(parts.UserName(), "user%3Asecret");
    EXPECT_EQ(parts.Host(), "h");
    EXPECT_EQ(ToNarrow(RebuildURL(parts)), "http://h/x");
}

TEST(CrackURL, ResetsARecordLeftByAnEarlierSplit) {
    URLParts parts;
    ASSERT_TRUE(CrackURL(u"http://first.test/long/path?q", parts));
    ASSERT_TRUE(CrackURL(u"http://b", parts));
    EXPECT_EQ(parts.Host(), "b");
    EXPECT_EQ(parts.Path(), "");
    EXPECT_EQ(parts.Extra(), "");
}

TEST(IsLocalOrScriptURL, Table) {
    const struct {
        const char* address;
        bool local;
    } cases[] = {
        {"c:", true},          {"C:\\x", true},        {"Z:/", true},           {"C:x", false},
        {"1:/x", false},       {"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", true},
        {"\\\\server\\share", true}, {"FILE:///x", true}, {"Res://x", true},   {"JavaScript:void(0)", true},
        {"javascript", false}, {"vbscript:x", false},  {"about:blank", false},  {"", false},
        {"file:", true},       {"res:", true},         {"::", false},           {"\\", false},
        {"http://c:/", false}, {"\xe9:/x", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsLocalOrScriptURL(c.address), c.local) << c.address;
}

TEST(IsLocalOrScriptURL, StopsAtAnEmbeddedNul) {
    EXPECT_TRUE(IsLocalOrScriptURL(std::string_view("c:\0x", 4)));
    EXPECT_FALSE(IsLocalOrScriptURL(std::string_view("\0file:", 6)));
}

}  // namespace
}  // namespace sentrel
