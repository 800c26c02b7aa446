#include "settings/domain_index.h"

#include "support/canonical_host.h"

#include <algorithm>

namespace sentrel {
namespace {

constexpr std::uint64_t kIndexBits = 0xFFFFFF;  // low bits of a slot: names_ index + 1
constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ull;
constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;

std::uint64_t Step(std::uint64_t state, char c) { return (state ^ static_cast<unsigned char>(c)) * kFnvPrime; }

// FNV mixes its low bits poorly; the probe position comes from them.
std::uint64_t Finish(std::uint64_t state) {
    state ^= state >> 31;
    state *= 0x9e3779b97f4a7c15ull;
    return state ^ (state >> 29);
}

// The hash of a whole name, taken from its end as the lookup does.
std::uint64_t HashFromEnd(std::string_view name) {
    std::uint64_t state = kFnvOffset;
    for (size_t i = name.size(); i-- > 0;) state = Step(state, name[i]);
    return Finish(state);
}

std::uint32_t PortNumber(std::string_view digits) {
    std::uint32_t port = 0;
    for (const char c : digits) port = port * 10 + static_cast<std::uint32_t>(c - '0');
    return port;
}

}  // namespace

void DomainIndex::Build(const std::vector<std::string_view>& entries) {
    // The table is made as the names come: room for every entry's name at
    // half load, so that it never grows.
    size_t capacity = 16;
    while (capacity < entries.size() * 2) capacity *= 2;
    slots_.assign(capacity, 0);
    mask_ = capacity - 1;
    struct NamedPort {
        std::uint32_t name;
        Port port;
    };
    std::vector<NamedPort> ports;
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        if (entries[i].empty()) {
            if (emptyEntry_ == kNone) emptyEntry_ = i;
            continue;
        }
        const std::optional<std::string> canonical = CanonicalEntry(entries[i]);
        if (!canonical) continue;  // names no host: covers none
        const NameAndPort split = SplitCanonicalHost(*canonical);
        const std::uint64_t hash = HashFromEnd(split.name);
        const std::uint32_t slot = Find(split.name, hash);
        if (slots_[slot] == 0) {
            names_.push_back({static_cast<std::uint32_t>(text_.size()), static_cast<std::uint32_t>(split.name.size()),
                              kNone, 0, 0});
            text_ += split.name;
            slots_[slot] = (hash & ~kIndexBits) | names_.size();
        }
        const std::uint32_t n = static_cast<std::uint32_t>((slots_[slot] & kIndexBits) - 1);
        if (split.port.empty()) {
            if (names_[n].anyPort == kNone) names_[n].anyPort = i;
        } else {
            ports.push_back({n, {PortNumber(split.port), i}});
        }
    }
    // Each name's ports in one run, in order of listing.
    std::stable_sort(ports.begin(), ports.end(), [](const NamedPort& a, const NamedPort& b) { return a.name < b.name; });
    ports_.reserve(ports.size());
    for (const NamedPort& named : ports) {
        Name& name = names_[named.name];
        if (name.portCount == 0) name.firstPort = static_cast<std::uint32_t>(ports_.size());
        ++name.portCount;
        ports_.push_back(named.port);
    }
    text_.shrink_to_fit();
    names_.shrink_to_fit();
    // Half load for the names there are, not for the entries.
    size_t needed = 16;
    while (needed < names_.size() * 2) needed *= 2;
    if (needed < slots_.size()) {
        std::vector<std::uint64_t> slots(needed, 0);
        slots_.swap(slots);
        mask_ = needed - 1;
        for (std::uint32_t n = 0; n < names_.size(); ++n) {
            const std::string_view name(text_.data() + names_[n].textStart, names_[n].textLength);
            const std::uint64_t hash = HashFromEnd(name);
            slots_[Find(name, hash)] = (hash & ~kIndexBits) | (n + 1);
        }
    }
}

std::uint32_t DomainIndex::Find(std::string_view name, std::uint64_t hash) const {
    for (std::uint64_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
        const std::uint64_t value = slots_[slot];
        if (value == 0) return static_cast<std::uint32_t>(slot);
        if ((value & ~kIndexBits) != (hash & ~kIndexBits)) continue;
        const Name& candidate = names_[(value & kIndexBits) - 1];
        if (std::string_view(text_.data() + candidate.textStart, candidate.textLength) == name)
            return static_cast<std::uint32_t>(slot);
    }
}

std::optional<std::uint32_t> DomainIndex::CoveringName(const Name& name, std::uint32_t port, bool hasPort) const {
    if (name.anyPort != kNone) return name.anyPort;
    if (!hasPort) return std::nullopt;
    for (std::uint32_t i = name.firstPort; i < name.firstPort + name.portCount; ++i) {
        if (ports_[i].port == port) return ports_[i].entry;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> DomainIndex::Covering(std::string_view canonicalHost) const {
    if (emptyEntry_ != kNone) return emptyEntry_;
    if (names_.empty()) return std::nullopt;
    const NameAndPort host = SplitCanonicalHost(canonicalHost);
    const std::uint32_t port = PortNumber(host.port);
    const bool hasPort = !host.port.empty();
    // An address is covered only by itself; a name also by the names it ends with.
    const bool wholeOnly = IsAddressLiteral(host.name);
    std::uint64_t state = kFnvOffset;
    for (size_t i = host.name.size(); i-- > 0;) {
        state = Step(state, host.name[i]);
        const bool labelStart = i == 0 || (!wholeOnly && host.name[i - 1] == '.');
        if (!labelStart) continue;
        const std::string_view suffix = host.name.substr(i);
        const std::uint64_t value = slots_[Find(suffix, Finish(state))];
        if (value == 0) continue;
        if (const auto entry = CoveringName(names_[(value & kIndexBits) - 1], port, hasPort)) return entry;
    }
    return std::nullopt;
}

size_t DomainIndex::MemoryBytes() const {
    return text_.capacity() + names_.capacity() * sizeof(Name) + ports_.capacity() * sizeof(Port) +
           slots_.capacity() * sizeof(std::uint64_t);
}

}  // namespace sentrel
