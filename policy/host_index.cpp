#include "policy/host_index.h"

#include <algorithm>
#include <deque>

namespace sentrel {

void HostIndex::Insert(std::string_view entry) {
    std::uint32_t node = 0;
    for (char c : entry) {
        const auto byte = static_cast<std::uint8_t>(c);
        std::uint32_t next = 0;
        for (const Edge& edge : nodes_[node].edges) {
            if (edge.byte == byte) {
                next = edge.target;
                break;
            }
        }
        if (next == 0) {
            next = static_cast<std::uint32_t>(nodes_.size());
            nodes_[node].edges.push_back({byte, next});
            nodes_.emplace_back();
        }
        node = next;
    }
    nodes_[node].output = true;
}

std::uint32_t HostIndex::Child(std::uint32_t node, std::uint8_t byte) const {
    const auto& edges = nodes_[node].edges;
    const auto it = std::lower_bound(edges.begin(), edges.end(), byte,
                                     [](const Edge& edge, std::uint8_t b) { return edge.byte < b; });
    return it != edges.end() && it->byte == byte ? it->target : 0;
}

std::uint32_t HostIndex::Step(std::uint32_t node, std::uint8_t byte) const {
    for (;;) {
        if (const std::uint32_t next = Child(node, byte)) return next;
        if (node == 0) return 0;
        node = nodes_[node].failure;
    }
}

void HostIndex::Link() {
    for (Node& node : nodes_) {
        std::sort(node.edges.begin(), node.edges.end(),
                  [](const Edge& a, const Edge& b) { return a.byte < b.byte; });
    }
    // Breadth first, so every failure target is complete before it is used.
    std::deque<std::uint32_t> queue;
    for (const Edge& edge : nodes_[0].edges) {
        nodes_[edge.target].failure = 0;
        nodes_[edge.target].output = nodes_[edge.target].output || nodes_[0].output;
        queue.push_back(edge.target);
    }
    while (!queue.empty()) {
        const std::uint32_t node = queue.front();
        queue.pop_front();
        for (const Edge& edge : nodes_[node].edges) {
            const std::uint32_t failure = Step(nodes_[node].failure, edge.byte);
            nodes_[edge.target].failure = failure;
            nodes_[edge.target].output = nodes_[edge.target].output || nodes_[failure].output;
            queue.push_back(edge.target);
        }
    }
}

bool HostIndex::AnyEntryOccursIn(std::string_view host) const {
    if (nodes_[0].output) return true;  // the empty entry
    std::uint32_t node = 0;
    for (char c : host) {
        node = Step(node, static_cast<std::uint8_t>(c));
        if (nodes_[node].output) return true;
    }
    return false;
}

}  // namespace sentrel
