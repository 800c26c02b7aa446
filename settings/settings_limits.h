// The largest settings document accepted, as 8-bit text: a document of
// 100,000 site entries is about 5 MB. Larger files and registry values are
// refused unread.
#pragma once

#include <cstddef>

namespace sentrel {

inline constexpr size_t kMaxSettingsTextBytes = 32u << 20;

}  // namespace sentrel
