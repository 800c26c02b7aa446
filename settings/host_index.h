// Answers "does any site-list entry occur in this host?" in time linear in
// the host's length, whatever the size of the list. The empty entry occurs in
// every host.
//
// An Aho-Corasick automaton over the entries' first bytes only: each entry is
// cut after its shortest beginning that no other entry shares (an entry that
// begins another is kept whole), so most of an entry, its tail, stays out of
// the automaton; a state that ends a cut entry compares the host's next bytes
// with that entry's tail. Tails are at most kLongestTail bytes (a longer
// entry keeps more of itself in the automaton), and for each position of the
// host at most one cut entry can begin there, so a host costs at most
// kLongestTail byte comparisons a byte.
//
// States are numbered breadth first, so the children of a state are one run
// of states: a state needs only the index of its first child, the byte that
// leads to it, its failure link (with the "an entry ends here" mark in the
// link's top bit) and the nearest tail on its failure chain.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class HostIndex {
public:
    // The longest tail compared outside the automaton, in bytes.
    static constexpr std::uint32_t kLongestTail = 64;

    // Entries in any order, duplicates allowed.
    template <typename Range>
    explicit HostIndex(const Range& entries) {
        std::vector<std::string_view> sorted;
        for (const auto& entry : entries) sorted.emplace_back(entry);
        if (!std::is_sorted(sorted.begin(), sorted.end())) std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        Build(sorted);
    }

    // Exactly as walking the entries and testing host.find(entry) would.
    bool AnyEntryOccursIn(std::string_view host) const;

    // The memory the automaton and the tails hold, in bytes.
    size_t MemoryBytes() const;

private:
    static constexpr std::uint32_t kMatch = 0x80000000u;
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // The rest of a cut entry, and the next tail on the failure chain of the
    // state that ends its cut.
    struct Tail {
        std::uint32_t textStart;  // in tailText_; the tail ends where the next one starts
        std::uint32_t next;       // kNone at the end of the chain
    };

    // `entries`: sorted, unique.
    void Build(const std::vector<std::string_view>& entries);
    std::uint32_t Child(std::uint32_t state, std::uint8_t byte) const;  // kNone when absent
    std::uint32_t Step(std::uint32_t state, std::uint8_t byte) const;
    std::uint32_t Link(std::uint32_t state) const { return link_[state] & ~kMatch; }
    bool Match(std::uint32_t state) const { return (link_[state] & kMatch) != 0; }
    // Whether a tail on the chain that starts at `tail` follows in `rest`.
    bool AnyTailStarts(std::uint32_t tail, std::string_view rest) const;

    std::vector<std::uint32_t> firstChild_;  // one more than there are states
    std::vector<std::uint8_t> label_;        // the byte on the edge into each state
    std::vector<std::uint32_t> link_;        // failure link | kMatch
    std::vector<std::uint32_t> tailOf_;      // the nearest tail on each state's failure chain, or kNone
    std::vector<Tail> tails_;                // one more than there are tails: the last marks the text's end
    std::string tailText_;
    std::array<std::uint32_t, 256> rootStep_{};  // the root's transitions, the hottest ones
};

}  // namespace sentrel
