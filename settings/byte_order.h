// The order of many byte strings, for the site list: the sort that a list
// of 100,000 host names goes through when it is read.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace sentrel {

// The indexes of `texts` in ascending byte order; equal strings side by side.
std::vector<std::uint32_t> ByteOrder(const std::vector<std::string_view>& texts);

}  // namespace sentrel
