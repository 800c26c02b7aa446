// Answers "which site-list entry covers this host?" for whole-host matching:
// an entry covers the host it names and every host below it (corp.example
// covers www.corp.example, not xcorp.example); an entry with a port only
// that port, one without every port; an address only itself.
//
// The entries' canonical names are kept in an open-addressing table keyed by
// a hash taken from the name's end, so one pass from the right over a host
// gives the hash of every suffix that starts a label: a decision costs one
// probe per label, whatever the size of the list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class DomainIndex {
public:
    // `entries` in list order; the index gives back positions in it.
    template <typename Range>
    explicit DomainIndex(const Range& entries) {
        std::vector<std::string_view> views;
        for (const auto& entry : entries) views.emplace_back(entry);
        Build(views);
    }

    // The position of an entry that covers `canonicalHost` (from
    // CanonicalHost); of the widest one where several do.
    std::optional<std::uint32_t> Covering(std::string_view canonicalHost) const;

    size_t MemoryBytes() const;

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    struct Name {
        std::uint32_t textStart, textLength;
        std::uint32_t anyPort;     // the entry without a port, or kNone
        std::uint32_t firstPort;   // a run of ports_, in order of listing
        std::uint32_t portCount;
    };
    struct Port {
        std::uint32_t port;
        std::uint32_t entry;
    };

    void Build(const std::vector<std::string_view>& entries);
    // The slot of `name` (hash `hash`), or the empty slot where it would go.
    std::uint32_t Find(std::string_view name, std::uint64_t hash) const;
    std::optional<std::uint32_t> CoveringName(const Name& name, std::uint32_t port, bool hasPort) const;

    std::string text_;                   // the canonical names
    std::vector<Name> names_;
    std::vector<Port> ports_;
    std::vector<std::uint64_t> slots_;   // hash with its low bits replaced by names_ index + 1; 0 empty
    std::uint64_t mask_ = 0;             // slots_.size() - 1
    std::uint32_t emptyEntry_ = kNone;   // the empty entry covers every host
};

}  // namespace sentrel
