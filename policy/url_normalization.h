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
// default scheme, every colon after the first escaped as %3A) and splits it
// into `parts`, which is reset first. False when the split fails; `parts`
// is then unspecified. Text after an embedded NUL is ignored, as the
// platform's splitter would never see it.
bool CrackURL(WideView address, URLParts& parts);

// Scheme "://" host path: user information, port (which travels inside the
// host after escaping), query and fragment are dropped.
WideString RebuildURL(const URLParts& parts);

// CrackURL then RebuildURL; empty when the split fails.
WideString NormalizeURL(WideView address);

// The address up to its first NUL character.
WideView UpToFirstNul(WideView text);

}  // namespace sentrel
