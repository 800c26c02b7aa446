#include "settings/host_index.h"

namespace sentrel {
namespace {

std::uint32_t CommonPrefix(std::string_view a, std::string_view b) {
    const size_t most = std::min(a.size(), b.size());
    size_t shared = 0;
    while (shared < most && a[shared] == b[shared]) ++shared;
    return static_cast<std::uint32_t>(shared);
}

// Where each entry is cut: after the first byte it shares with no other
// entry (sorted, an entry shares the most with its neighbours), and no more
// than kLongestTail bytes before its end. An entry that begins another one
// is kept whole.
std::vector<std::uint32_t> Cuts(const std::vector<std::string_view>& entries, std::uint32_t longestTail) {
    std::vector<std::uint32_t> cuts(entries.size());
    std::uint32_t sharedWithPrevious = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::uint32_t sharedWithNext = i + 1 < entries.size() ? CommonPrefix(entries[i], entries[i + 1]) : 0;
        const auto size = static_cast<std::uint32_t>(entries[i].size());
        std::uint32_t cut = std::min(size, std::max(sharedWithPrevious, sharedWithNext) + 1);
        if (size - cut > longestTail) cut = size - longestTail;
        cuts[i] = cut;
        sharedWithPrevious = sharedWithNext;
    }
    return cuts;
}

}  // namespace

void HostIndex::Build(const std::vector<std::string_view>& entries) {
    const std::vector<std::uint32_t> cuts = Cuts(entries, kLongestTail);
    // The trie of the cut entries, breadth first. Each state stands for the
    // entries in a run [begin, end) of `entries` that share its prefix of
    // length `depth`; entries sorted, the children of a state are runs of
    // that run. A state's failure link is made with the state: it leads to
    // a shallower state, whose children, link and marks are already made.
    struct Run {
        std::uint32_t begin, end, depth;
    };
    std::vector<Run> runs{{0, static_cast<std::uint32_t>(entries.size()), 0}};
    const bool emptyEntry = !entries.empty() && entries[0].empty();
    label_.push_back(0);
    link_.push_back(emptyEntry ? kMatch : 0);
    tailOf_.push_back(kNone);
    for (std::uint32_t state = 0; state < runs.size(); ++state) {
        const Run run = runs[state];
        firstChild_.push_back(static_cast<std::uint32_t>(runs.size()));
        // Once a state matches, the walk stops there: nothing below it counts.
        std::uint32_t i = Match(state) ? run.end : run.begin;
        // Cut entries that end here sort first in their run; they made this state.
        while (i < run.end && cuts[i] == run.depth) ++i;
        while (i < run.end) {
            const char byte = entries[i][run.depth];
            std::uint32_t j = i + 1;
            while (j < run.end && entries[j][run.depth] == byte) ++j;
            const std::uint32_t link = state == 0 ? 0 : Step(Link(state), static_cast<std::uint8_t>(byte));
            const bool endsCut = cuts[i] == run.depth + 1;
            const bool endsEntry = endsCut && entries[i].size() == run.depth + 1;
            runs.push_back({i, j, run.depth + 1});
            label_.push_back(static_cast<std::uint8_t>(byte));
            link_.push_back(link | (endsEntry || Match(link) ? kMatch : 0));
            if (endsCut && !endsEntry) {
                // A cut entry's state has no children: j == i + 1.
                tailOf_.push_back(static_cast<std::uint32_t>(tails_.size()));
                tails_.push_back({static_cast<std::uint32_t>(tailText_.size()), tailOf_[link]});
                tailText_.append(entries[i].substr(cuts[i]));
            } else {
                tailOf_.push_back(tailOf_[link]);
            }
            i = j;
        }
        if (state == 0) {
            for (std::uint32_t child = firstChild_[0]; child < runs.size(); ++child) rootStep_[label_[child]] = child;
        }
        // The runs are no longer needed once a state's children are made.
        runs[state] = Run{0, 0, 0};
    }
    firstChild_.push_back(static_cast<std::uint32_t>(runs.size()));
    tails_.push_back({static_cast<std::uint32_t>(tailText_.size()), kNone});
    firstChild_.shrink_to_fit();
    label_.shrink_to_fit();
    link_.shrink_to_fit();
    tailOf_.shrink_to_fit();
    tails_.shrink_to_fit();
    tailText_.shrink_to_fit();
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
        state = Link(state);
    }
}

bool HostIndex::AnyTailStarts(std::uint32_t tail, std::string_view rest) const {
    for (; tail != kNone; tail = tails_[tail].next) {
        const std::uint32_t start = tails_[tail].textStart;
        const std::string_view text(tailText_.data() + start, tails_[tail + 1].textStart - start);
        if (rest.substr(0, text.size()) == text) return true;
    }
    return false;
}

bool HostIndex::AnyEntryOccursIn(std::string_view host) const {
    if (Match(0)) return true;  // the empty entry
    std::uint32_t state = 0;
    for (size_t at = 0; at < host.size(); ++at) {
        state = Step(state, static_cast<std::uint8_t>(host[at]));
        if (Match(state)) return true;
        if (tailOf_[state] != kNone && AnyTailStarts(tailOf_[state], host.substr(at + 1))) return true;
    }
    return false;
}

size_t HostIndex::MemoryBytes() const {
    return firstChild_.capacity() * sizeof(std::uint32_t) + label_.capacity() +
           link_.capacity() * sizeof(std::uint32_t) + tailOf_.capacity() * sizeof(std::uint32_t) +
           tails_.capacity() * sizeof(Tail) + tailText_.capacity() + sizeof rootStep_;
}

}  // namespace sentrel
