#include "policy/access_decision.h"

#include "policy/url_normalization.h"

#include <cstring>
#ifndef _WIN32
#include <strings.h>
#endif

namespace sentrel {
namespace {

bool EqualIgnoringCase(const char* a, const char* b) {
#ifdef _WIN32
    return _stricmp(a, b) == 0;
#else
    return strcasecmp(a, b) == 0;
#endif
}

// Whether the error page splits and names the same host, in any letter case.
bool IsErrorPageHost(const ControllerSettings& settings, const URLParts& parts) {
    if (settings.errorPage.empty()) return false;
    const WideString normalized = NormalizeURL(settings.errorPage);
    if (normalized.empty()) return false;
    URLParts errorParts;
    if (!CrackURL(normalized, errorParts)) return false;
    return EqualIgnoringCase(parts.host, errorParts.host);
}

HRESULT Decide(ControllerSettings& settings, WideView url) {
    if (!settings.active) return S_OK;

    url = UpToFirstNul(url);
    const std::string narrow = ToNarrow(url);
    if (IsLocalOrScriptURL(narrow)) return S_OK;

    URLParts parts;
    if (!CrackURL(url, parts)) {
        settings.RememberRefused(narrow);
        return S_FALSE;
    }

    // A host name never contains "@": one that does is the rest of user
    // information that a browser would take as such, and the address goes
    // to whatever follows its last "@". Refused in both modes.
    if (parts.Host().find('@') != std::string_view::npos) {
        settings.RememberRefused(narrow);
        return S_FALSE;
    }

    const std::string rebuilt = ToNarrow(RebuildURL(parts));
    if (IsLocalOrScriptURL(rebuilt)) return S_OK;
    if (EqualIgnoringCase(rebuilt.c_str(), "about://blank")) return S_OK;
    if (IsErrorPageHost(settings, parts)) return S_OK;

    const bool matched = settings.hosts.AnyEntryOccursIn(parts.Host());
    if (settings.reverseOperation) return matched ? S_FALSE : S_OK;
    if (matched) return S_OK;
    settings.RememberRefused(std::string(parts.Host()));
    return S_FALSE;
}

}  // namespace

HRESULT IsURLOK(ControllerSettings& settings, std::optional<WideView> url) noexcept {
    if (!url) return S_FALSE;
    try {
        return Decide(settings, *url);
    } catch (...) {
        return S_FALSE;
    }
}

}  // namespace sentrel
