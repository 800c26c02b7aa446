#include "policy/url_platform.h"

#include <shlwapi.h>

namespace sentrel {

HRESULT ApplyDefaultScheme(const char* address, char* out, DWORD* capacity) {
    return UrlApplySchemeA(address, out, capacity, URL_APPLY_DEFAULT);
}

bool SplitUrl(const char* url, UrlComponents& record) {
    return InternetCrackUrlA(url, 0, 0, &record) != FALSE;
}

}  // namespace sentrel
