// IDNA for one label of a host name, as Windows converts it with IdnToAscii
// and no flags: the UTS #46 mapping with IDNA 2003's choices for the
// deviation characters ("ß" becomes "ss", a final sigma a sigma, joiners
// vanish), NFKC, then Punycode behind "xn--". Unassigned code points are
// refused; no bidirectional or contextual rules apply. The Windows build
// asks the platform, the native build libidn2 (transitional processing).
//
// Where the two libraries part, the stricter answer holds on both builds:
// a label whose mapped form begins or ends with a hyphen, or holds one in
// both its third and fourth place (other than "xn--"), is refused, as
// libidn2 refuses it; a conjoining Hangul jamo (U+1100 to U+11FF) after
// mapping is refused, as Windows refuses it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// `label`: code points with at least one beyond ASCII; ASCII letters already
// in lower case. The ASCII form ("xn--" and Punycode, or the plain ASCII the
// label maps to), or nullopt when the label is not a valid internationalised
// label. Characters no host name holds may remain in the result: the caller
// checks them.
std::optional<std::string> LabelToAscii(std::u32string_view label);

}  // namespace sentrel
