#include "policy/access_decision.h"
#include "policy/address_reach.h"
#include "tests/unit/contacted_host_cases.h"
#include "tests/unit/whole_host_cases.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace sentrel {
namespace {

ControllerSettings Locked(std::initializer_list<const char*> hosts, bool blockList = false) {
    ControllerSettings settings;
    settings.active = true;
    settings.reverseOperation = blockList;
    for (const char* host : hosts) settings.hosts.Insert(host);
    return settings;
}

HRESULT Ask(ControllerSettings& settings, const std::u16string& url) { return IsURLOK(settings, WideView(url)); }

std::vector<std::string> Refused(const ControllerSettings& settings) {
    return {settings.recentRefused.begin(), settings.recentRefused.end()};
}

struct DecisionCase {
    const char16_t* url;
    HRESULT allowList;  // answer with the list as an allow list
    HRESULT blockList;  // answer with the same list as a block list
};

// Site list {corp, games}, error page http://Intranet/refused.htm.
TEST(IsURLOK, AnswersInBothModes) {
    const DecisionCase cases[] = {
        {u"C:\\Docs\\x.htm", S_OK, S_OK},
        {u"\\\\server\\share\\x.htm", S_OK, S_OK},
        {u"file:///C:/x.htm", S_OK, S_OK},
        {u"res://x.dll/y.gif", S_OK, S_OK},
        {u"javascript:void(0)", S_OK, S_OK},
        {u"about:blank", S_OK, S_OK},
        {u"ABOUT:BLANK", S_OK, S_OK},
        {u"http://corp/", S_OK, S_FALSE},
        {u"http://www.corp.test/", S_OK, S_FALSE},
        {u"http://intranet-corp/x", S_OK, S_FALSE},
        {u"http://CORP/", S_FALSE, S_OK},
        {u"http://games.test/", S_OK, S_FALSE},
        {u"http://news.test/", S_FALSE, S_OK},
        {u"http://intranet/anything", S_OK, S_OK},
        {u"http://INTRANET/other/path", S_OK, S_OK},
        {u"http://corp/x?a=b", S_OK, S_FALSE},
        {u"http://corp/y#z", S_OK, S_FALSE},
        {u"http://corp:8080/", S_OK, S_FALSE},
        {u"abc.de", S_FALSE, S_FALSE},
        {u"", S_FALSE, S_FALSE},
        {u"about:home", S_FALSE, S_OK},
        // The port travels in the host, so the error page's host with a port is another host.
        {u"http://intranet:81/", S_FALSE, S_OK},
        // A host with "@" in it is refused whichever way the "@"s are split:
        // a browser goes to what follows the last one.
        {u"http://x@corp@evil.test/", S_FALSE, S_FALSE},
        {u"http://u:p@ss@corp/", S_FALSE, S_FALSE},
        {u"http://corp@@news.test/", S_FALSE, S_FALSE},
        {u"http://user@corp/", S_OK, S_FALSE},
        {u"http://corp/x@news.test", S_OK, S_FALSE},
        {u"http://corp/?next=a@b", S_OK, S_FALSE},
    };
    for (bool blockList : {false, true}) {
        ControllerSettings settings = Locked({"corp", "games"}, blockList);
        settings.errorPage = u"http://Intranet/refused.htm";
        for (const DecisionCase& c : cases) {
            EXPECT_EQ(Ask(settings, c.url), blockList ? c.blockList : c.allowList)
                << ToNarrow(c.url) << (blockList ? " (block list)" : " (allow list)");
        }
    }
}

// The host judged is the host a browser contacts; what cannot be told is refused.
TEST(IsURLOK, JudgesTheHostABrowserContacts) {
    const auto run = [](const char16_t* errorPage, const auto& cases) {
        for (bool blockList : {false, true}) {
            ControllerSettings settings =
                Locked({blockList ? testing::kContactedBlockEntry : testing::kContactedAllowEntry}, blockList);
            settings.errorPage = errorPage;
            for (const testing::ContactedHostCase& c : cases) {
                EXPECT_EQ(Ask(settings, c.url), blockList ? c.blockList : c.allowList)
                    << ToNarrow(c.url) << (blockList ? " (block list)" : " (allow list)") << ", error page "
                    << ToNarrow(errorPage);
            }
        }
    };
    run(u"http://intranet/refused.htm", testing::kContactedHostCases);
    run(u"C:\\refused.htm", testing::kEmptyHostCases);
}

ControllerSettings WholeHosts(bool blockList) {
    ControllerSettings settings;
    settings.active = true;
    settings.reverseOperation = blockList;
    settings.hostMatching = HostMatching::Domain;
    for (const char* entry : testing::kWholeHostEntries) settings.hosts.Insert(entry);
    return settings;
}

TEST(IsURLOK, WholeHostMatchingJudgesTheHostABrowserContacts) {
    for (bool blockList : {false, true}) {
        ControllerSettings settings = WholeHosts(blockList);
        for (const testing::ContactedHostCase& c : testing::kWholeHostCases) {
            EXPECT_EQ(Ask(settings, c.url), blockList ? c.blockList : c.allowList)
                << ToNarrow(c.url) << (blockList ? " (block list)" : " (allow list)");
        }
    }
}

TEST(IsURLOK, TheErrorPagesHostIsAllowedInEveryForm) {
    for (const char16_t* errorPage : testing::kWholeHostErrorPages) {
        for (bool blockList : {false, true}) {
            ControllerSettings settings =
                Locked({blockList ? testing::kContactedBlockEntry : testing::kContactedAllowEntry}, blockList);
            settings.errorPage = errorPage;
            // The substring rule judges a wrapper by its own (empty) host.
            if (!WrapperPrefixLength(errorPage))
                EXPECT_EQ(Ask(settings, errorPage), S_OK) << ToNarrow(errorPage) << " under the substring rule";
            settings.hostMatching = HostMatching::Domain;
            for (const testing::ContactedHostCase& c : testing::kWholeHostErrorPageCases) {
                EXPECT_EQ(Ask(settings, c.url), blockList ? c.blockList : c.allowList)
                    << ToNarrow(c.url) << (blockList ? " (block list)" : " (allow list)") << ", error page "
                    << ToNarrow(errorPage);
            }
        }
    }
}

// What the explanation names, and what the dialog is offered.
TEST(IsURLOK, WholeHostMatchingNamesTheCanonicalHostAndTheCoveringEntry) {
    ControllerSettings settings = WholeHosts(false);
    settings.hosts.Insert("www.corp.example");  // covered by the wider entry too
    const struct {
        const char16_t* url;
        const char* host;
        const char* entry;
    } cases[] = {
        {u"http://WWW.Corp.Example.:81/", "www.corp.example%3A81", "corp.example"},
        {u"\\\\0x0a.1.2.3\\share\\x.htm", "10.1.2.3", "10.1.2.3"},
        {u"view-source:http://[::0:1]/", "[::1]", "[::1]"},
        {u"http://xn--BCHER-kva.test/", "xn--bcher-kva.test", "b\xfc" "cher.test"},
        {u"http://evil.test/", "evil.test", ""},
    };
    for (const auto& c : cases) {
        const Decision decision = Decide(settings, c.url, true);
        EXPECT_EQ(decision.host, c.host) << ToNarrow(c.url);
        EXPECT_EQ(decision.entry, c.entry) << ToNarrow(c.url);
    }
    EXPECT_EQ(Refused(settings), std::vector<std::string>{"evil.test"});
    EXPECT_EQ(Decide(settings, u"http://a..b/", true).reason, DecisionReason::InvalidHost);
}

TEST(IsURLOK, RefusalsOfTheContactedHostRecordTheWholeAddress) {
    for (const char16_t* url : {u"http://evil.test corp.example/", u"http:///evil.test/", u"http://c\u014drp.example/"}) {
        ControllerSettings settings = Locked({"corp.example"});
        EXPECT_EQ(Ask(settings, url), S_FALSE);
        EXPECT_EQ(Refused(settings), std::vector<std::string>{ToNarrow(url)}) << ToNarrow(url);
    }
}

TEST(IsURLOK, LockOffAllowsEverythingAndRecordsNothing) {
    for (bool blockList : {false, true}) {
        ControllerSettings settings = Locked({"games"}, blockList);
        settings.active = false;
        EXPECT_EQ(Ask(settings, u"http://anything/"), S_OK);
        EXPECT_EQ(Ask(settings, u"http://games/"), S_OK);
        EXPECT_EQ(Ask(settings, u"abc.de"), S_OK);
        EXPECT_TRUE(settings.recentRefused.empty());
    }
}

TEST(IsURLOK, RecordsTheHostInAllowListModeAndTheWholeAddressWhenTheSplitFails) {
    ControllerSettings settings = Locked({"corp"});
    EXPECT_EQ(Ask(settings, u"http://CORP/page?q=1"), S_FALSE);
    EXPECT_EQ(Ask(settings, u"abc.de"), S_FALSE);
    EXPECT_EQ(Ask(settings, u""), S_FALSE);
    EXPECT_EQ(Ask(settings, u"about:home"), S_FALSE);
    EXPECT_EQ(Ask(settings, u"http://CORP/again"), S_FALSE);
    EXPECT_EQ(Refused(settings), (std::vector<std::string>{"CORP", "abc.de", "", "", "CORP"}));
}

TEST(IsURLOK, BlockListRecordsOnlyUnsplittableAddresses) {
    ControllerSettings settings = Locked({"games"}, true);
    EXPECT_EQ(Ask(settings, u"http://games.test/"), S_FALSE);
    EXPECT_TRUE(settings.recentRefused.empty());
    EXPECT_EQ(Ask(settings, u"abc.de"), S_FALSE);
    EXPECT_EQ(Refused(settings), std::vector<std::string>{"abc.de"});
}

TEST(IsURLOK, AHostWithAnAtSignIsRecordedAsTheWholeAddress) {
    for (bool blockList : {false, true}) {
        ControllerSettings settings = Locked({"corp"}, blockList);
        EXPECT_EQ(Ask(settings, u"http://x@corp@evil.test/"), S_FALSE);
        EXPECT_EQ(Refused(settings), std::vector<std::string>{"http://x@corp@evil.test/"});
    }
}

TEST(IsURLOK, NullAddressIsRefusedAndNotRecorded) {
    ControllerSettings settings = Locked({""});
    EXPECT_EQ(IsURLOK(settings, std::nullopt), S_FALSE);
    EXPECT_TRUE(settings.recentRefused.empty());
}

TEST(IsURLOK, RecentRefusedKeepsTheNewestFifty) {
    ControllerSettings settings = Locked({"corp"});
    for (int i = 1; i <= 51; ++i) {
        EXPECT_EQ(Ask(settings, u"http://h" + WidenAscii(std::to_string(i)) + u"/"), S_FALSE);
    }
    ASSERT_EQ(settings.recentRefused.size(), 50u);
    EXPECT_EQ(settings.recentRefused.front(), "h2");
    EXPECT_EQ(settings.recentRefused.back(), "h51");
}

TEST(IsURLOK, EmptyEntryMatchesEveryHost) {
    ControllerSettings allow = Locked({""});
    EXPECT_EQ(Ask(allow, u"http://any.test/"), S_OK);
    EXPECT_EQ(Ask(allow, u"about:home"), S_OK);
    EXPECT_EQ(Ask(allow, u"abc.de"), S_FALSE);  // unsplittable

    ControllerSettings block = Locked({""}, true);
    EXPECT_EQ(Ask(block, u"http://any.test/"), S_FALSE);
    EXPECT_EQ(Ask(block, u"about:blank"), S_OK);  // exempt before the list
}

TEST(IsURLOK, PortEntryMatchesOnlyThatPort) {
    ControllerSettings settings = Locked({"corp%3A8080"});
    EXPECT_EQ(Ask(settings, u"http://intra.corp:8080/"), S_OK);
    EXPECT_EQ(Ask(settings, u"http://intra.corp:8081/"), S_FALSE);
    EXPECT_EQ(Ask(settings, u"http://intra.corp/"), S_FALSE);
}

TEST(IsURLOK, LocalErrorPageExemptsEmptyHosts) {
    ControllerSettings settings = Locked({"corp"});
    settings.errorPage = u"C:\\refused.htm";
    EXPECT_EQ(Ask(settings, u"about:home"), S_OK);
    EXPECT_EQ(Ask(settings, u"http://other/"), S_FALSE);
}

TEST(IsURLOK, UnsplittableErrorPageExemptsNothing) {
    ControllerSettings settings = Locked({"corp"});
    settings.errorPage = u"http://" + std::u16string(3000, u'e') + u"/";
    EXPECT_EQ(Ask(settings, u"http://other/"), S_FALSE);
    EXPECT_EQ(Ask(settings, u"http://corp/"), S_OK);
    settings.errorPage = u"abc.de";
    EXPECT_EQ(Ask(settings, u"http://other/"), S_FALSE);
}

TEST(IsURLOK, EmbeddedNulEndsTheAddress) {
    ControllerSettings settings = Locked({"corp"});
    EXPECT_EQ(Ask(settings, std::u16string(u"http://corp\0.evil/", 18)), S_OK);
    EXPECT_EQ(Ask(settings, std::u16string(u"http://evil\0corp/", 17)), S_FALSE);
    EXPECT_EQ(Refused(settings), std::vector<std::string>{"evil"});
}

TEST(IsURLOK, OverlongAddressesAreRefusedAndKeptToTheLongestAddress) {
    ControllerSettings settings = Locked({"h"});
    const std::u16string longHost = u"http://" + std::u16string(5000, u'h') + u"/";
    EXPECT_EQ(Ask(settings, longHost), S_FALSE);
    ASSERT_EQ(settings.recentRefused.size(), 1u);
    EXPECT_EQ(settings.recentRefused.front(), ToNarrow(longHost).substr(0, ControllerSettings::kRecentRefusedChars));
}

}  // namespace
}  // namespace sentrel
