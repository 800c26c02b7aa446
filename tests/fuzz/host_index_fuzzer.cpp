// The site-list index against the plain walk: for any set of entries and any
// hosts, "does an entry occur in the host" must be the same answer. Input:
// entries one a line, an empty line, then hosts one a line. At most 64
// entries and 16 hosts are taken, so that each input stays quick and the
// fuzzer explores many small lists rather than a few large ones.
#include "settings/host_index.h"
#include "settings/site_list.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> Lines(std::string_view text, size_t most) {
    std::vector<std::string> lines;
    while (!text.empty() && lines.size() < most) {
        const size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool PlainWalk(const std::vector<std::string>& entries, std::string_view host) {
    for (const std::string& entry : entries) {
        if (host.find(entry) != std::string_view::npos) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const size_t split = text.find("\n\n");
    const std::vector<std::string> entries = Lines(text.substr(0, split), 64);
    const std::vector<std::string> hosts = split == std::string_view::npos ? std::vector<std::string>{std::string(text)}
                                                                         : Lines(text.substr(split + 2), 16);

    const sentrel::HostIndex index(entries);
    sentrel::SiteList list;
    for (const std::string& entry : entries) list.Insert(entry);
    sentrel::SiteList whole;  // the same entries inserted at once
    whole.InsertAll(std::vector<std::string_view>(entries.begin(), entries.end()));
    if (!std::equal(list.begin(), list.end(), whole.begin(), whole.end())) __builtin_trap();
    for (const std::string& host : hosts) {
        const bool expected = PlainWalk(entries, host);
        if (index.AnyEntryOccursIn(host) != expected) __builtin_trap();
        if (list.AnyEntryOccursIn(host) != expected) __builtin_trap();
        if (whole.AnyEntryOccursIn(host) != expected) __builtin_trap();
    }
    return 0;
}
