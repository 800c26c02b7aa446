// The site list: unique narrow strings in ascending byte order (a prefix
// sorts before its extensions, "Abc" before "abc"), with a match index that
// is rebuilt on the first match after the list changed.
#pragma once

#include "policy/host_index.h"

#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace sentrel {

class SiteList {
public:
    // std::less<std::string> compares through char_traits<char>, which
    // orders bytes as unsigned values: byte order.
    using Entries = std::set<std::string>;
    using const_iterator = Entries::const_iterator;

    // False when an equal entry was already there.
    bool Insert(std::string entry);
    void Clear();

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    bool Contains(std::string_view entry) const { return entries_.count(std::string(entry)) != 0; }

    // Whether any entry occurs in `host` as a substring, letter case counting.
    bool AnyEntryOccursIn(std::string_view host) const;

private:
    Entries entries_;
    mutable std::shared_ptr<const HostIndex> index_;  // null after a change
};

}  // namespace sentrel
