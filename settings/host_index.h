// Answers "does any site-list entry occur in this host?" in time linear in
// the host's length, whatever the size of the list: an Aho-Corasick
// automaton over the entries' bytes. The empty entry occurs in every host.
//
// The automaton is kept small: its states are numbered breadth first, so the
// children of a state are one run of states and a state needs only the index
// of its first child, the byte that leads to it and its failure link (with
// the "an entry ends here" mark in the link's top bit): 9 bytes a state.
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

    // The memory the automaton holds, in bytes.
    size_t MemoryBytes() const;

private:
    static constexpr std::uint32_t kOutput = 0x80000000u;
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // `entries`: sorted, unique.
    void Build(const std::vector<std::string_view>& entries);
    std::uint32_t Child(std::uint32_t state, std::uint8_t byte) const;  // kNone when absent
    std::uint32_t Step(std::uint32_t state, std::uint8_t byte) const;
    bool Output(std::uint32_t state) const { return (failure_[state] & kOutput) != 0; }

    std::vector<std::uint32_t> firstChild_;  // one more than there are states
    std::vector<std::uint8_t> label_;        // the byte on the edge into each state
    std::vector<std::uint32_t> failure_;     // failure link | kOutput
    std::array<std::uint32_t, 256> rootStep_{};  // the root's transitions, the hottest ones
};

}  // namespace sentrel
