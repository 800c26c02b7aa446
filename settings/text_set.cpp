#include "settings/text_set.h"


namespace sentrel {
namespace {

constexpr std::uint64_t kIndexBits = 0xFFFFFFFFull;

// FNV-1a, its high half (which places and tags a string in the table) mixed
// with the low one.
std::uint64_t Hash(std::string_view text) {
    std::uint64_t state = 0xcbf29ce484222325ull;
    for (const char c : text) state = (state ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    state ^= state >> 29;
    state *= 0xbf58476d1ce4e5b9ull;
    return state ^ (state << 32);
}

size_t Home(std::uint64_t value, size_t mask) { return static_cast<size_t>(value >> 32) & mask; }

}  // namespace

std::string_view TextSet::operator[](size_t index) const {
    const size_t end = index + 1 < starts_.size() ? starts_[index + 1] : text_.size();
    return std::string_view(text_).substr(starts_[index], end - starts_[index]);
}

size_t TextSet::Find(std::string_view text, std::uint64_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t slot = Home(hash, mask);; slot = (slot + 1) & mask) {
        const std::uint64_t value = slots_[slot];
        if (value == 0) return slot;
        if ((value & ~kIndexBits) == (hash & ~kIndexBits) && (*this)[(value & kIndexBits) - 1] == text) return slot;
    }
}

void TextSet::Grow() {
    std::vector<std::uint64_t> slots(slots_.empty() ? 64 : slots_.size() * 2, 0);
    slots_.swap(slots);
    for (const std::uint64_t value : slots) {
        if (value == 0) continue;
        const size_t mask = slots_.size() - 1;
        size_t slot = Home(value, mask);
        while (slots_[slot] != 0) slot = (slot + 1) & mask;
        slots_[slot] = value;
    }
}

bool TextSet::Insert(std::string_view text) {
    // At most half the slots in use: probes stay short.
    if (2 * (starts_.size() + 1) > slots_.size()) Grow();
    const std::uint64_t hash = Hash(text);
    const size_t slot = Find(text, hash);
    if (slots_[slot] != 0) return false;
    starts_.push_back(static_cast<std::uint32_t>(text_.size()));
    text_.append(text);
    slots_[slot] = (hash & ~kIndexBits) | starts_.size();
    return true;
}

bool TextSet::Contains(std::string_view text) const {
    return !slots_.empty() && slots_[Find(text, Hash(text))] != 0;
}

void TextSet::Release() {
    std::string().swap(text_);
    std::vector<std::uint32_t>().swap(starts_);
    std::vector<std::uint64_t>().swap(slots_);
}

size_t TextSet::MemoryBytes() const {
    return text_.capacity() + starts_.capacity() * sizeof(std::uint32_t) + slots_.capacity() * sizeof(std::uint64_t);
}

}  // namespace sentrel
