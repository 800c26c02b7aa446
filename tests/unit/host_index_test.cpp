#include "settings/host_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

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
        std::string host;
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
        // Entries told apart by their first bytes: the rest is compared apart.
        {{"abcdef", "abxyz"}, "zabcdez", false},
        {{"abcdef", "abxyz"}, "zabcdefz", true},
        {{"abcdef", "abxyz"}, "abxy", false},
        {{"abcdef"}, "abcde", false},
        {{"xabq", "abcd"}, "xabcd", true},   // the first tail fails, the next one on the chain holds
        {{"xabq", "abcd", "bcx"}, "xabcx", true},
        {{"corp", "corporate"}, "corpo", true},
        {{"ab", "zabc"}, "zab", true},       // the cut entry holds an entry
        {{std::string(100, 'a') + "b"}, std::string(150, 'a') + "c", false},
        {{std::string(100, 'a') + "b"}, std::string(120, 'a') + "b", true},
        {{std::string(100, 'a') + "b", std::string(70, 'a') + "c"}, std::string(99, 'a') + "c", true},
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

// Long entries of few letters share long runs, and hosts made of pieces of
// them come close to an entry again and again: the cut entries' tails and
// the longest ones are compared at every turn.
TEST(HostIndex, AgreesWithTheLinearWalkOnLongEntries) {
    std::mt19937 random(2026);
    auto word = [&](size_t maxLength) {
        std::string text(random() % (maxLength + 1), ' ');
        for (char& c : text) c = "ab."[random() % 3];
        return text;
    };
    for (int round = 0; round < 200; ++round) {
        std::set<std::string> entries;
        const size_t count = 1 + random() % 8;
        for (size_t i = 0; i < count; ++i) {
            const std::string repeated(random() % 90, 'a');
            entries.insert(random() % 2 ? repeated + word(6) : word(90));
        }
        const HostIndex index(entries);
        for (int probe = 0; probe < 40; ++probe) {
            std::string host;
            while (host.size() < 200) {
                const auto entry = std::next(entries.begin(), static_cast<long>(random() % entries.size()));
                host += entry->substr(0, entry->size() - std::min<size_t>(entry->size(), random() % 3)) + word(3);
            }
            ASSERT_EQ(index.AnyEntryOccursIn(host), LinearWalk(entries, host)) << host;
        }
    }
}

}  // namespace
}  // namespace sentrel
