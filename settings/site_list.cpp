#include "settings/site_list.h"

#include <algorithm>

namespace sentrel {

std::string_view SiteList::const_iterator::operator*() const { return list_->Entry(index_); }

std::string_view SiteList::Entry(size_t index) const {
    const size_t start = starts_[index];
    const size_t end = index + 1 < starts_.size() ? starts_[index + 1] - 1 : text_.size() - 1;
    return std::string_view(text_).substr(start, end - start);
}

bool SiteList::SortedContains(std::string_view entry) const {
    size_t low = 0, high = starts_.size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (Entry(middle) < entry) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low < starts_.size() && Entry(low) == entry;
}

void SiteList::Append(std::string_view entry) {
    starts_.push_back(static_cast<std::uint32_t>(text_.size()));
    text_.append(entry);
    text_.push_back('\0');
}

bool SiteList::Insert(std::string_view entry) {
    // A list read from a document arrives in order: appended at once.
    if (pending_.empty() && (starts_.empty() || Entry(starts_.size() - 1) < entry)) {
        Append(entry);
        Changed();
        return true;
    }
    if (SortedContains(entry) || !pending_.emplace(entry).second) return false;
    Changed();
    if (pending_.size() >= std::max(kSmallestMerge, starts_.size())) MergePending();
    return true;
}

void SiteList::MergePending() const {
    if (pending_.empty()) return;
    std::vector<std::string> waiting;
    waiting.reserve(pending_.size());
    for (auto it = pending_.begin(); it != pending_.end();) waiting.push_back(std::move(pending_.extract(it++).value()));
    std::sort(waiting.begin(), waiting.end());
    std::string text;
    std::vector<std::uint32_t> starts;
    text.reserve(text_.size() + waiting.size() * 24);
    starts.reserve(starts_.size() + waiting.size());
    const auto append = [&](std::string_view entry) {
        starts.push_back(static_cast<std::uint32_t>(text.size()));
        text.append(entry);
        text.push_back('\0');
    };
    size_t i = 0;
    for (const std::string& entry : waiting) {
        while (i < starts_.size() && Entry(i) < entry) append(Entry(i++));
        append(entry);
    }
    while (i < starts_.size()) append(Entry(i++));
    text_ = std::move(text);
    starts_ = std::move(starts);
    pending_.clear();
}

void SiteList::Clear() {
    text_.clear();
    starts_.clear();
    pending_.clear();
    Changed();
}

SiteList::const_iterator SiteList::begin() const {
    MergePending();
    return const_iterator(this, 0);
}

SiteList::const_iterator SiteList::end() const {
    MergePending();
    return const_iterator(this, starts_.size());
}

size_t SiteList::size() const { return starts_.size() + pending_.size(); }

bool SiteList::Contains(std::string_view entry) const {
    return SortedContains(entry) || pending_.count(std::string(entry)) != 0;
}

bool SiteList::AnyEntryOccursIn(std::string_view host) const {
    if (!index_) {
        MergePending();
        index_ = std::make_shared<const HostIndex>(*this);
    }
    return index_->AnyEntryOccursIn(host);
}

std::optional<std::string_view> SiteList::EntryCovering(std::string_view canonicalHost) const {
    if (!domainIndex_) {
        MergePending();
        domainIndex_ = std::make_shared<const DomainIndex>(*this);
    }
    const std::optional<std::uint32_t> entry = domainIndex_->Covering(canonicalHost);
    if (!entry) return std::nullopt;
    return Entry(*entry);
}

void SiteList::Changed() {
    index_.reset();
    domainIndex_.reset();
}

size_t SiteList::MemoryBytes() const {
    return text_.capacity() + starts_.capacity() * sizeof(std::uint32_t) + (index_ ? index_->MemoryBytes() : 0) +
           (domainIndex_ ? domainIndex_->MemoryBytes() : 0);
}

}  // namespace sentrel
