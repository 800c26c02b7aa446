#include "settings/site_list.h"

#include "settings/byte_order.h"

#include <algorithm>
#include <cstring>

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
    if (SortedContains(entry) || !pending_.Insert(entry)) return false;
    Changed();
    return true;
}

void SiteList::MergeSorted(const std::vector<std::string_view>& entries,
                           const std::vector<std::uint32_t>& order) const {
    size_t bytes = text_.size();
    for (const std::string_view entry : entries) bytes += entry.size() + 1;
    std::string text(bytes, '\0');
    std::vector<std::uint32_t> starts;
    starts.reserve(starts_.size() + entries.size());
    size_t end = 0;
    std::string_view last;
    const auto append = [&](std::string_view entry) {
        starts.push_back(static_cast<std::uint32_t>(end));
        std::memcpy(text.data() + end, entry.data(), entry.size());
        last = std::string_view(text.data() + end, entry.size());  // text never moves: its size is final
        end += entry.size() + 1;  // the NUL is there already
    };
    size_t i = 0;
    for (const std::uint32_t next : order) {
        const std::string_view entry = entries[next];
        while (i < starts_.size() && Entry(i) < entry) append(Entry(i++));
        if (i < starts_.size() && Entry(i) == entry) continue;  // listed already
        if (!starts.empty() && last == entry) continue;        // a repeat among the new ones
        append(entry);
    }
    while (i < starts_.size()) append(Entry(i++));
    text.resize(end);
    text_ = std::move(text);
    starts_ = std::move(starts);
}

void SiteList::MergePending() const {
    if (pending_.empty()) return;
    std::vector<std::string_view> entries(pending_.size());
    for (size_t i = 0; i < pending_.size(); ++i) entries[i] = pending_[i];
    MergeSorted(entries, ByteOrder(entries));
    pending_.Release();
}

void SiteList::InsertAll(const std::vector<std::string_view>& entries) {
    if (entries.empty()) return;
    MergePending();
    MergeSorted(entries, ByteOrder(entries));
    Changed();
}

void SiteList::Settle() const {
    MergePending();
    text_.shrink_to_fit();
    starts_.shrink_to_fit();
}

void SiteList::Clear() {
    text_.clear();
    starts_.clear();
    pending_.Release();
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
    return SortedContains(entry) || pending_.Contains(entry);
}

bool SiteList::AnyEntryOccursIn(std::string_view host) const {
    if (!index_) {
        Settle();
        index_ = std::make_shared<const HostIndex>(*this);
    }
    return index_->AnyEntryOccursIn(host);
}

std::optional<std::string_view> SiteList::EntryCovering(std::string_view canonicalHost) const {
    if (!domainIndex_) {
        Settle();
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
    return text_.capacity() + starts_.capacity() * sizeof(std::uint32_t) + pending_.MemoryBytes() +
           (index_ ? index_->MemoryBytes() : 0) + (domainIndex_ ? domainIndex_->MemoryBytes() : 0);
}

}  // namespace sentrel
