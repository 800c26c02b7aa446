// The stored form of the settings password: two letters per byte of its
// narrow form, low nibble first ('a' + low, then 'a' + the byte shifted
// right by four as a signed value). "abc" is stored as "bgcgdg".
#pragma once

#include <string>
#include <string_view>

namespace sentrel {

inline constexpr size_t kMaxPasswordBytes = 19;       // what the stored form is made for
inline constexpr size_t kMaxEncodedPasswordChars = 78; // what the reader decodes (39 bytes)

std::string EncodePassword(std::string_view narrowPassword);

// Decodes at most the first 78 characters; a final unpaired character gives
// one byte of its own.
std::string DecodePassword(std::string_view encoded);

}  // namespace sentrel
