// Unique byte strings in the order they came, kept in one block of text with
// an open-addressing table of their positions: adding a string costs no
// allocation of its own, so a set of 100,000 host names is little more than
// their text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class TextSet {
public:
    // False when an equal string is already there.
    bool Insert(std::string_view text);
    bool Contains(std::string_view text) const;
    size_t size() const { return starts_.size(); }
    bool empty() const { return starts_.empty(); }
    // The strings in the order they were inserted.
    std::string_view operator[](size_t index) const;
    // Empties the set and gives its memory back.
    void Release();
    size_t MemoryBytes() const;

private:
    // The slot that holds `text` (hash `hash`), or the empty one where it would go.
    size_t Find(std::string_view text, std::uint64_t hash) const;
    void Grow();

    std::string text_;                   // the strings, one after another
    std::vector<std::uint32_t> starts_;  // where each string begins in text_
    // The hash's high half and the string's index + 1 in the low half; 0 empty.
    std::vector<std::uint64_t> slots_;
};

}  // namespace sentrel
