// The settings password's old, reversible stored form (settings_password.h
// has the one written now): two letters per byte of its narrow form, low
// nibble first ('a' + low, then 'a' + the byte shifted right by four as a
// signed value). "abc" is stored as "bgcgdg".
#pragma once

#include <string>
#include <string_view>

namespace sentrel {

inline constexpr size_t kMaxPasswordBytes = 19;        // what a person may type
inline constexpr size_t kMaxEncodedPasswordChars = 78;  // what the reader decodes
// What is stored: every password that the reader can produce, so that a
// password that loads can always be saved again.
inline constexpr size_t kMaxStoredPasswordBytes = kMaxEncodedPasswordChars / 2;

// The old form, which the controller no longer writes: what existing
// documents hold, and what the tests make such documents with.
std::string EncodePassword(std::string_view narrowPassword);

// Decodes at most the first 78 characters; a final unpaired character gives
// one byte of its own. The password ends at its first NUL byte (a pair "aa"):
// nobody could type what follows.
std::string DecodePassword(std::string_view encoded);

}  // namespace sentrel
