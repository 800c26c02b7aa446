#include "settings/byte_order.h"

#include <algorithm>
#include <utility>

namespace sentrel {
namespace {

// The first eight bytes as a number that orders as the bytes do (a shorter
// string padded with zeros): most strings differ there.
std::uint64_t OrderKey(std::string_view text) {
    std::uint64_t key = 0;
    for (size_t i = 0; i < 8; ++i) key = key << 8 | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
    return key;
}

}  // namespace

// Texts in order already (a document the controller saved) are seen to be
// in one pass. Others: a radix sort on the order keys, one byte at a time
// from the last (a byte that all keys share is passed over), then a
// comparison sort of each run of equal keys.
std::vector<std::uint32_t> ByteOrder(const std::vector<std::string_view>& texts) {
    if (std::is_sorted(texts.begin(), texts.end())) {
        std::vector<std::uint32_t> order(texts.size());
        for (std::uint32_t i = 0; i < texts.size(); ++i) order[i] = i;
        return order;
    }
    struct Keyed {
        std::uint64_t key;
        std::uint32_t index;
    };
    std::vector<Keyed> items(texts.size()), spare(texts.size());
    for (std::uint32_t i = 0; i < texts.size(); ++i) items[i] = {OrderKey(texts[i]), i};
    for (int shift = 0; shift < 64 && !items.empty(); shift += 8) {
        size_t counts[256] = {};
        for (const Keyed& item : items) ++counts[(item.key >> shift) & 0xFF];
        if (counts[(items[0].key >> shift) & 0xFF] == items.size()) continue;
        size_t next = 0;
        for (size_t& count : counts) next += std::exchange(count, next);
        for (const Keyed& item : items) spare[counts[(item.key >> shift) & 0xFF]++] = item;
        items.swap(spare);
    }
    std::vector<std::uint32_t> order(items.size());
    for (size_t begin = 0; begin < items.size();) {
        size_t end = begin + 1;
        while (end < items.size() && items[end].key == items[begin].key) ++end;
        for (size_t i = begin; i < end; ++i) order[i] = items[i].index;
        if (end - begin > 1) {
            std::sort(order.begin() + static_cast<std::ptrdiff_t>(begin), order.begin() + static_cast<std::ptrdiff_t>(end),
                      [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
        }
        begin = end;
    }
    return order;
}

}  // namespace sentrel
