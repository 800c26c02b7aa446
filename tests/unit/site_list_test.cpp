#include "settings/site_list.h"
#include "settings/controller_settings.h"

#include <gtest/gtest.h>

#include <string>
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
