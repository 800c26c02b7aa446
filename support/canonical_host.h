// The canonical form of a host for whole-host matching: the one name a
// browser would contact, whatever way the address spells it.
//
//   ASCII letters in lower case; percent escapes decoded (as UTF-8); labels
//   that are not ASCII in their IDNA form ("xn--..."); one trailing dot
//   dropped; an IPv4 address in any of its forms (decimal, octal, hex, fewer
//   than four parts) as dotted decimal; an IPv6 literal in brackets in its
//   compressed form (an IPv4-mapped one as the IPv4 address it reaches).
//   A port stays behind the name as "%3A" and its digits.
//
// A host without such a form (a character no host name has, a label IDNA
// refuses, an IPv4 part out of range, a malformed port) has none: nullopt.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// `host`: the narrow host component of a split address, where every colon
// after the scheme's is "%3A".
std::optional<std::string> CanonicalHost(std::string_view host);

// A site-list entry as the host it names: written like a host, with a colon
// or "%3A" before a port, and optionally "." or "*." in front.
std::optional<std::string> CanonicalEntry(std::string_view entry);

// A canonical host split into its name and port (empty when none).
struct NameAndPort {
    std::string_view name;
    std::string_view port;
};
NameAndPort SplitCanonicalHost(std::string_view canonical);

// Whether a canonical name is an IP address (which only an equal entry covers).
bool IsAddressLiteral(std::string_view name);

}  // namespace sentrel
