#include "settings/site_list.h"
#include "settings/controller_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {
namespace {

TEST(SiteList, KeepsUniqueEntriesInByteOrder) {
    SiteList list;
    for (const char* entry : {"abcd", "abc", "Abc", "b", "abc", "\xe9", "a"}) list.Insert(entry);
    const std::vector<std::string> inOrder(list.begin(), list.end());
    EXPECT_EQ(inOrder, (std::vector<std::string>{"Abc", "a", "abc", "abcd", "b", "\xe9"}));
    EXPECT_FALSE(list.Insert("abc"));
}

// Entries that share their first eight bytes or more, hold NUL bytes and
// bytes above 0x7F, or repeat, inserted in any order with reads in between:
// the list holds each once, in byte order, as a set of strings does.
TEST(SiteList, KeepsByteOrderWhateverTheInsertionOrder) {
    std::mt19937 random(7);
    const std::string letters("a\0b\xff", 4);
    const auto entry = [&] {
        std::string text = random() % 2 ? std::string("www.shared.") : std::string();
        for (size_t length = random() % 12; length > 0; --length) text += letters[random() % 4];
        return text;
    };
    SiteList list;
    std::set<std::string> expected;
    for (int i = 0; i < 20000; ++i) {
        const std::string next = entry();
        ASSERT_EQ(list.Insert(next), expected.insert(next).second) << i;
        if (i % 5000 == 4999) {
            ASSERT_EQ(std::vector<std::string>(list.begin(), list.end()),
                      std::vector<std::string>(expected.begin(), expected.end()));
        }
    }
    EXPECT_EQ(list.size(), expected.size());
    EXPECT_TRUE(list.Contains(*expected.rbegin()));
    EXPECT_FALSE(list.Contains("www.shared.c"));
    EXPECT_EQ(std::vector<std::string>(list.begin(), list.end()),
              std::vector<std::string>(expected.begin(), expected.end()));
}

// A whole list inserted at once, in order or not, with repeats and entries
// the list holds already: each once, in byte order.
TEST(SiteList, InsertsAWholeListAtOnce) {
    std::mt19937 random(11);
    const auto entry = [&] {
        std::string text = random() % 2 ? std::string("shared.prefix.") : std::string();
        for (size_t length = random() % 6; length > 0; --length) text += "ab\0\xff"[random() % 4];
        return text;
    };
    for (int round = 0; round < 40; ++round) {
        SiteList list;
        std::set<std::string> expected;
        for (int i = 0; i < 50; ++i) {
            const std::string next = entry();
            list.Insert(next);
            expected.insert(next);
        }
        std::vector<std::string> texts;
        for (int i = 0; i < 300; ++i) texts.push_back(entry());
        if (round % 2) std::sort(texts.begin(), texts.end());
        list.InsertAll(std::vector<std::string_view>(texts.begin(), texts.end()));
        expected.insert(texts.begin(), texts.end());
        ASSERT_EQ(std::vector<std::string>(list.begin(), list.end()),
                  std::vector<std::string>(expected.begin(), expected.end()));
        ASSERT_EQ(list.size(), expected.size());
        EXPECT_FALSE(list.Insert(texts.front()));
    }
}

TEST(SiteList, MatchFollowsChangesToTheList) {
    SiteList list;
    list.Insert("corp");
    EXPECT_TRUE(list.AnyEntryOccursIn("www.corp.test"));
    EXPECT_FALSE(list.AnyEntryOccursIn("games"));
    list.Insert("game");
    EXPECT_TRUE(list.AnyEntryOccursIn("games"));
    SiteList copy = list;
    list.Clear();
    EXPECT_FALSE(list.AnyEntryOccursIn("games"));
    EXPECT_TRUE(copy.AnyEntryOccursIn("games"));
}

TEST(ControllerSettings, ConstructionValues) {
    const ControllerSettings settings;
    EXPECT_TRUE(settings.recentRefused.empty());
    EXPECT_TRUE(settings.hosts.empty());
    EXPECT_TRUE(settings.password.Empty());
    EXPECT_TRUE(settings.errorPage.empty());
    EXPECT_FALSE(settings.active);
    EXPECT_TRUE(settings.blockPopups);
    EXPECT_FALSE(settings.sourceConfigured);
    EXPECT_FALSE(settings.reverseOperation);
    EXPECT_FALSE(settings.prohibitUninstall);
}

}  // namespace
}  // namespace sentrel
