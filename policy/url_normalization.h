// Brings an address into the one canonical shape that the access decision
// matches on, and splits it into its components.
#pragma once

#include "policy/url_parts.h"
#include "support/text.h"

#include <string_view>

namespace sentrel {

// True for drive paths (C:, C:\x, c:/x), shell namespace items (::{...}),
// network paths (\\server) and file:, res: and javascript: addresses.
bool IsLocalOrScriptURL(std::string_view address);

// Normalises `address` (backslashes to slashes, drive paths to file:///,
// default scheme, every colon after the first escaped as %3A, the fragment
// dropped) and splits it into `parts`, which is reset first. False when the
// split fails, and when a character of the scheme or the authority has no
// byte of its own in the narrow code page; `parts` is then unspecified.
// Text after an embedded NUL is ignored, as the platform's splitter would
// never see it.
bool CrackURL(WideView address, URLParts& parts);

// Whether the scheme and the authority of `address` (what names the place a
// browser contacts) narrow without substitution. The authority ends at the
// first '/', '\', '?' or '#'; an address without a scheme is taken as
// starting with its host, a network path with its server.
bool SchemeAndAuthorityNarrowExactly(WideView address);

// Scheme "://" host path: user information, port (which travels inside the
// host after escaping), query and fragment are dropped.
WideString RebuildURL(const URLParts& parts);

// CrackURL then RebuildURL; empty when the split fails.
WideString NormalizeURL(WideView address);

// The address up to its first NUL character.
WideView UpToFirstNul(WideView text);

}  // namespace sentrel
