// The two platform operations that URL normalisation delegates to. The
// Windows build calls the shell's UrlApplySchemeA and WinINet's
// InternetCrackUrlA; the native build has portable equivalents.
#pragma once

#include "policy/url_parts.h"

namespace sentrel {

// Gives an address without a recognised scheme the default scheme
// ("http://"). S_OK: the result is in `out`. S_FALSE: the address already has
// a scheme. E_POINTER: the result does not fit `*capacity` bytes (NUL
// included); `*capacity` then holds the size needed.
HRESULT ApplyDefaultScheme(const char* address, char* out, DWORD* capacity);

// Splits a NUL-terminated URL into the components of `record`, copying each
// verbatim (no decoding, no escaping). False when the text has no scheme or a
// component does not fit its buffer.
bool SplitUrl(const char* url, UrlComponents& record);

#ifndef _WIN32
// Which bytes from 0x80 up the portable shell test takes as scheme
// characters. By default those of the product's 32-bit platform (the code
// page's letters between 0x80 and 0x9F); 64-bit Wine's shell takes another
// set, which the differential run imitates where the Windows build it
// compares with is 64-bit.
void ImitateWine64Shell(bool imitate);
#endif

}  // namespace sentrel
