// IDNA for one label of a host name: the Windows build asks the platform
// (IdnToAscii); the native build maps the letters it knows (lower case,
// full-width forms) and encodes with Punycode, refusing anything else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// `label`: code points with at least one beyond ASCII; ASCII letters already
// in lower case. The ASCII form ("xn--" and Punycode), or nullopt when the
// label is not a valid internationalised label.
std::optional<std::string> LabelToAscii(std::u32string_view label);

#ifndef _WIN32
// RFC 3492 Punycode of the code points (no "xn--"); nullopt on overflow.
std::optional<std::string> Punycode(std::u32string_view codePoints);
#endif

}  // namespace sentrel
