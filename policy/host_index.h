// Answers "does any site-list entry occur in this host?" in time linear in
// the host's length, whatever the size of the list: an Aho-Corasick
// automaton over the entries' bytes. The empty entry occurs in every host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class HostIndex {
public:
    template <typename Range>
    explicit HostIndex(const Range& entries) {
        nodes_.emplace_back();
        for (const std::string& entry : entries) Insert(entry);
        Link();
    }

    // Exactly as walking the entries and testing host.find(entry) would.
    bool AnyEntryOccursIn(std::string_view host) const;

private:
    struct Edge {
        std::uint8_t byte;
        std::uint32_t target;
    };
    struct Node {
        std::vector<Edge> edges;  // sorted by byte once linked
        std::uint32_t failure = 0;
        bool output = false;  // an entry ends here or at a failure ancestor
    };

    void Insert(std::string_view entry);
    void Link();
    std::uint32_t Child(std::uint32_t node, std::uint8_t byte) const;  // 0 when absent (root is never a child)
    std::uint32_t Step(std::uint32_t node, std::uint8_t byte) const;

    std::vector<Node> nodes_;
};

}  // namespace sentrel
