// The site list: unique narrow strings in ascending byte order (a prefix
// sorts before its extensions, "Abc" before "abc"), with a match index that
// is rebuilt on the first match after the list changed.
//
// The entries are kept in one block of text, each followed by a NUL, so a
// list of 100,000 host names costs little more than their text. Entries
// inserted one by one out of order wait in a set of their own (one block of
// text too) that is sorted and merged in when the list is next read, so that
// any insertion order takes O(n log n) time; a whole list is sorted and
// merged in at once.
#pragma once

#include "settings/domain_index.h"
#include "settings/host_index.h"
#include "settings/text_set.h"

#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

class SiteList {
public:
    // Iterates the entries in order; each view is followed by a NUL in memory.
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        std::string_view operator*() const;
        const_iterator& operator++() {
            ++index_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator before = *this;
            ++index_;
            return before;
        }
        difference_type operator-(const const_iterator& other) const {
            return static_cast<difference_type>(index_) - static_cast<difference_type>(other.index_);
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }
        bool operator!=(const const_iterator& other) const { return index_ != other.index_; }

    private:
        friend class SiteList;
        const_iterator(const SiteList* list, size_t index) : list_(list), index_(index) {}
        const SiteList* list_ = nullptr;
        size_t index_ = 0;
    };

    // False when an equal entry was already there.
    bool Insert(std::string_view entry);
    // Inserts every entry, in any order, repeats and entries already there
    // taken once: the way for a whole list, sorted together rather than
    // added one by one.
    void InsertAll(const std::vector<std::string_view>& entries);
    void Clear();
    const_iterator begin() const;
    const_iterator end() const;
    size_t size() const;
    bool empty() const { return size() == 0; }
    bool Contains(std::string_view entry) const;
    // Whether any entry occurs in `host` as a substring, letter case counting.
    bool AnyEntryOccursIn(std::string_view host) const;
    // For whole-host matching: an entry that covers `canonicalHost` (the
    // canonical form of a host), as the list holds it.
    std::optional<std::string_view> EntryCovering(std::string_view canonicalHost) const;

    // The memory the list and its index hold, in bytes (the index once built).
    size_t MemoryBytes() const;

private:
    std::string_view Entry(size_t index) const;
    bool SortedContains(std::string_view entry) const;
    void Append(std::string_view entry);
    // Merges `entries`, in the order `order` gives (ascending), into the
    // sorted text, dropping those already there.
    void MergeSorted(const std::vector<std::string_view>& entries, const std::vector<std::uint32_t>& order) const;
    void MergePending() const;
    // Merged, with the text and positions held to their sizes (a list read
    // in order grew them by doubling): done before an index is made.
    void Settle() const;
    void Changed();  // the indexes no longer hold

    mutable std::string text_;                 // entries, each followed by a NUL
    mutable std::vector<std::uint32_t> starts_;  // where each entry begins in text_
    mutable TextSet pending_;                  // none equal to one in text_
    mutable std::shared_ptr<const HostIndex> index_;  // null after a change
    mutable std::shared_ptr<const DomainIndex> domainIndex_;  // null after a change
};

}  // namespace sentrel
