#include "settings/site_list.h"

namespace sentrel {

bool SiteList::Insert(std::string entry) {
    const bool added = entries_.insert(std::move(entry)).second;
    if (added) index_.reset();
    return added;
}

void SiteList::Clear() {
    entries_.clear();
    index_.reset();
}

bool SiteList::AnyEntryOccursIn(std::string_view host) const {
    if (!index_) index_ = std::make_shared<const HostIndex>(entries_);
    return index_->AnyEntryOccursIn(host);
}

}  // namespace sentrel
