#include "settings/host_index.h"

namespace sentrel {

void HostIndex::Build(const std::vector<std::string_view>& entries) {
    // The trie, breadth first. Each state stands for the entries in a run
    // [begin, end) of `entries` that share its prefix of length `depth`;
    // entries sorted, the children of a state are runs of that run.
    struct Run {
        std::uint32_t begin, end, depth;
    };
    std::vector<Run> runs{{0, static_cast<std::uint32_t>(entries.size()), 0}};
    label_.push_back(0);
    failure_.push_back(0);
    for (std::uint32_t state = 0; state < runs.size(); ++state) {
        const Run run = runs[state];
        firstChild_.push_back(static_cast<std::uint32_t>(runs.size()));
        std::uint32_t i = run.begin;
        // An entry that ends here sorts first in its run.
        while (i < run.end && entries[i].size() == run.depth) {
            failure_[state] |= kOutput;
            ++i;
        }
        while (i < run.end) {
            const char byte = entries[i][run.depth];
            std::uint32_t j = i + 1;
            while (j < run.end && entries[j][run.depth] == byte) ++j;
            runs.push_back({i, j, run.depth + 1});
            label_.push_back(static_cast<std::uint8_t>(byte));
            failure_.push_back(0);
            i = j;
        }
        // The runs are no longer needed once a state's children are made.
        runs[state] = Run{0, 0, 0};
    }
    firstChild_.push_back(static_cast<std::uint32_t>(runs.size()));
    runs.clear();
    runs.shrink_to_fit();
    firstChild_.shrink_to_fit();
    label_.shrink_to_fit();
    failure_.shrink_to_fit();

    rootStep_.fill(0);
    for (std::uint32_t child = firstChild_[0]; child < firstChild_[1]; ++child) rootStep_[label_[child]] = child;

    // Failure links in state order, which is breadth first: a link always
    // points to a shallower state, whose own link and mark are final.
    const bool emptyEntry = Output(0);
    for (std::uint32_t state = 0; state + 1 < firstChild_.size(); ++state) {
        for (std::uint32_t child = firstChild_[state]; child < firstChild_[state + 1]; ++child) {
            const std::uint32_t link = state == 0 ? 0 : Step(failure_[state] & ~kOutput, label_[child]);
            const bool output = Output(child) || Output(link) || emptyEntry;
            failure_[child] = link | (output ? kOutput : 0);
        }
    }
}

std::uint32_t HostIndex::Child(std::uint32_t state, std::uint8_t byte) const {
    if (state == 0) return rootStep_[byte] ? rootStep_[byte] : kNone;
    const auto begin = label_.begin() + firstChild_[state];
    const auto end = label_.begin() + firstChild_[state + 1];
    const auto it = std::lower_bound(begin, end, byte);
    return it != end && *it == byte ? static_cast<std::uint32_t>(it - label_.begin()) : kNone;
}

std::uint32_t HostIndex::Step(std::uint32_t state, std::uint8_t byte) const {
    for (;;) {
        const std::uint32_t next = Child(state, byte);
        if (next != kNone) return next;
        if (state == 0) return 0;
        state = failure_[state] & ~kOutput;
    }
}

bool HostIndex::AnyEntryOccursIn(std::string_view host) const {
    if (Output(0)) return true;  // the empty entry
    std::uint32_t state = 0;
    for (const char c : host) {
        state = Step(state, static_cast<std::uint8_t>(c));
        if (Output(state)) return true;
    }
    return false;
}

size_t HostIndex::MemoryBytes() const {
    return firstChild_.capacity() * sizeof(std::uint32_t) + label_.capacity() +
           failure_.capacity() * sizeof(std::uint32_t) + sizeof rootStep_;
}

}  // namespace sentrel
