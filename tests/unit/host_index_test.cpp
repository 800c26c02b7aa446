#include "settings/host_index.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace sentrel {
namespace {

bool LinearWalk(const std::set<std::string>& entries, const std::string& host) {
    for (const std::string& entry : entries) {
        if (host.find(entry) != std::string::npos) return true;
    }
    return false;
}

TEST(HostIndex, Table) {
    const struct {
        std::set<std::string> entries;
        const char* host;
        bool found;
    } cases[] = {
        {{}, "anything", false},
        {{}, "", false},
        {{""}, "", true},
        {{""}, "x", true},
        {{"corp"}, "corp", true},
        {{"corp"}, "www.corp.test", true},
        {{"corp"}, "CORP", false},
        {{"corp"}, "cor", false},
        {{"abcd", "bc"}, "xabcx", true},     // found through a failure link
        {{"abcd", "cde"}, "abcde", true},
        {{"aab"}, "aaab", true},
        {{"he", "she", "his", "hers"}, "ushers", true},
        {{"he", "she", "his", "hers"}, "ahishe", true},
        {{"he", "she", "his", "hers"}, "hxsx", false},
        {{"\xff\x80"}, "a\xff\x80", true},
        {{"\xff\x80"}, "a\x80\xff", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HostIndex(c.entries).AnyEntryOccursIn(c.host), c.found) << c.host;
        EXPECT_EQ(LinearWalk(c.entries, c.host), c.found) << "table row is wrong: " << c.host;
    }
}

TEST(HostIndex, AgreesWithTheLinearWalkOnRandomLists) {
    std::mt19937 random(12345);
    auto word = [&](size_t maxLength) {
        std::string text(random() % (maxLength + 1), ' ');
        for (char& c : text) c = "abc.%A"[random() % 6];
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        std::set<std::string> entries;
        const size_t count = random() % 12;
        for (size_t i = 0; i < count; ++i) entries.insert(word(4));
        const HostIndex index(entries);
        for (int probe = 0; probe < 40; ++probe) {
            const std::string host = word(12);
            ASSERT_EQ(index.AnyEntryOccursIn(host), LinearWalk(entries, host)) << host;
        }
    }
}

}  // namespace
}  // namespace sentrel
