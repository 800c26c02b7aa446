#include "policy/access_decision.h"

#include "policy/address_reach.h"
#include "policy/url_normalization.h"
#include "support/ascii.h"
#include "support/canonical_host.h"

namespace sentrel {
namespace {

// Whether the error page splits and names the same host, in any letter case.
bool IsErrorPageHost(const ControllerSettings& settings, const URLParts& parts) {
    if (settings.errorPage.empty()) return false;
    const WideString normalized = NormalizeURL(settings.errorPage);
    if (normalized.empty()) return false;
    URLParts errorParts;
    if (!CrackURL(normalized, errorParts)) return false;
    return EqualsIgnoringAsciiCase(parts.Host(), errorParts.Host());
}

// A host name never holds these; a split host that does is not the place a
// browser goes to. '%' stands only in the "%3A" that carries a port.
bool HasCharacterNoHostHas(std::string_view host) {
    for (size_t i = 0; i < host.size(); ++i) {
        const auto c = static_cast<unsigned char>(host[i]);
        if (c <= ' ' || c == 0x7F || c == '#' || c == '?' || c == '\\') return true;
        if (c == '%' && host.substr(i, 3) != "%3A") return true;
    }
    return false;
}

// Browsers find a host for these schemes even when the address gives none in
// its place (http:///h, http:/h, http:h): an empty split host is no answer.
bool IsWebScheme(std::string_view scheme) {
    return EqualsIgnoringAsciiCase(scheme, "http") || EqualsIgnoringAsciiCase(scheme, "https") ||
           EqualsIgnoringAsciiCase(scheme, "ftp");
}

// Wrappers in wrappers are unwrapped this many times; an address wrapped
// deeper is refused.
constexpr int kDeepestWrapping = 4;

// Under whole-host matching, the canonical host that the error page loads
// from, judged as any address is: what a wrapper wraps, the server of a
// network path or a file address, else the host its address names. Nothing
// for a page of this machine, a device path or a page that names no host.
std::optional<std::string> ErrorPageCanonicalHost(const ControllerSettings& settings) {
    WideView page = UpToFirstNul(settings.errorPage);
    for (int depth = 0; const size_t prefix = WrapperPrefixLength(page); ++depth) {
        if (depth >= kDeepestWrapping) return std::nullopt;
        page = page.substr(prefix);
    }
    if (page.empty() || !SchemeAndAuthorityNarrowExactly(page)) return std::nullopt;
    const std::string narrow = ToNarrow(page);
    const PathReach reach = WherePathReallyReaches(narrow);
    if (reach.kind == PathReach::Server) return CanonicalHost(reach.server);
    if (reach.kind != PathReach::NotAPath || IsLocalOrScriptURL(narrow)) return std::nullopt;
    URLParts parts;
    if (!CrackURL(page, parts) || parts.Host().empty()) return std::nullopt;
    return CanonicalHost(parts.Host());
}

// Matches a host against the list. Whole-host matching refuses a host that
// has no canonical form, in both modes, and allows the error page's host in
// both modes, in whatever form either address gives it: a refused error
// page would send the browser from refusal to refusal.
void MatchHost(ControllerSettings& settings, std::string_view host, bool explain, Decision& decision) {
    const bool blockList = settings.reverseOperation;
    std::optional<std::string_view> entry;
    bool matched = false;
    if (settings.hostMatching == HostMatching::Domain) {
        // No host at all (about:, mailto:) has no canonical form to find,
        // and only the empty entry covers it.
        const std::optional<std::string> canonical = host.empty() ? std::string() : CanonicalHost(host);
        if (!canonical) {
            decision.allowed = false;
            decision.reason = DecisionReason::InvalidHost;
            if (explain) decision.host = host;
            settings.RememberRefused(host);
            return;
        }
        entry = settings.hosts.EntryCovering(*canonical);
        matched = entry.has_value();
        if (explain) decision.host = *canonical;
        if (matched == blockList && !canonical->empty() && ErrorPageCanonicalHost(settings) == *canonical) {
            decision.allowed = true;
            decision.reason = DecisionReason::ErrorPageHost;
            return;
        }
    } else {
        matched = settings.hosts.AnyEntryOccursIn(host);
        if (matched && explain) {
            for (const std::string_view candidate : settings.hosts) {
                if (host.find(candidate) != std::string_view::npos) {
                    entry = candidate;
                    break;
                }
            }
        }
        if (explain) decision.host = host;
    }
    decision.allowed = blockList ? !matched : matched;
    decision.reason = matched ? DecisionReason::EntryMatched : DecisionReason::NoEntryMatched;
    if (explain && entry) decision.entry = *entry;
    if (!decision.allowed && !blockList) settings.RememberRefused(host);
}

Decision DecideAt(ControllerSettings& settings, WideView url, bool explain, int depth);

// Whether a wrapped address says where its content comes from: a wrapper
// again, a path, a local or script address, or an address with a host. A
// bare name (ms-its:x.chm::/a.htm) is taken from wherever the browser is.
bool NamesWhereItLoadsFrom(WideView wrapped) {
    if (WrapperPrefixLength(wrapped)) return true;
    const std::string narrow = ToNarrow(wrapped);
    if (WherePathReaches(narrow).kind != PathReach::NotAPath || IsLocalOrScriptURL(narrow)) return true;
    URLParts parts;
    return CrackURL(wrapped, parts) && !parts.Host().empty();
}

// Whole-host matching judges what an address really loads: the address a
// wrapper wraps, the server of a network path. Nothing when it is neither.
std::optional<Decision> DecideWhatItLoads(ControllerSettings& settings, WideView url, std::string_view narrow,
                                          bool explain, int depth) {
    if (const size_t prefix = WrapperPrefixLength(url)) {
        const WideView wrapped = url.substr(prefix);
        if (depth >= kDeepestWrapping || !NamesWhereItLoadsFrom(wrapped)) {
            settings.RememberRefused(narrow);
            return Decision{false, DecisionReason::Unsplittable, {}, {}};
        }
        return DecideAt(settings, wrapped, explain, depth + 1);
    }
    const PathReach reach = WherePathReallyReaches(narrow);
    switch (reach.kind) {
    case PathReach::NotAPath:
    case PathReach::Local: return std::nullopt;
    case PathReach::Device:
        settings.RememberRefused(narrow);
        return Decision{false, DecisionReason::InvalidHost, {}, {}};
    case PathReach::Server: {
        Decision decision;
        MatchHost(settings, reach.server, explain, decision);
        return decision;
    }
    }
    return std::nullopt;
}

Decision DecideAt(ControllerSettings& settings, WideView url, bool explain, int depth) {
    Decision decision{true, DecisionReason::LockOff, {}, {}};
    const auto decided = [&](bool allowed, DecisionReason reason, std::string_view host = {}) {
        decision.allowed = allowed;
        decision.reason = reason;
        if (explain) decision.host = host;
        return decision;
    };
    if (!settings.active) return decision;

    url = UpToFirstNul(url);
    const std::string narrow = ToNarrow(url);
    // A look-alike in the scheme could make the narrow text a local address.
    if (!SchemeAndAuthorityNarrowExactly(url)) {
        settings.RememberRefused(narrow);
        return decided(false, DecisionReason::Unsplittable);
    }
    const bool wholeHosts = settings.hostMatching == HostMatching::Domain;
    if (wholeHosts) {
        if (std::optional<Decision> loaded = DecideWhatItLoads(settings, url, narrow, explain, depth)) return *loaded;
    }
    if (IsLocalOrScriptURL(narrow)) return decided(true, DecisionReason::LocalOrScript);

    URLParts parts;
    if (!CrackURL(url, parts)) {
        settings.RememberRefused(narrow);
        return decided(false, DecisionReason::Unsplittable);
    }
    const std::string_view host = parts.Host();

    // A host name never contains "@": one that does is the rest of user
    // information that a browser would take as such, and the address goes
    // to whatever follows its last "@". Refused in both modes.
    if (host.find('@') != std::string_view::npos) {
        settings.RememberRefused(narrow);
        return decided(false, DecisionReason::UserInformation, host);
    }
    // Whole-host matching decodes what this refuses, and refuses what then
    // names no host.
    if (!wholeHosts && HasCharacterNoHostHas(host)) {
        settings.RememberRefused(narrow);
        return decided(false, DecisionReason::HostCharacters, host);
    }
    if (host.empty() && IsWebScheme(parts.Scheme())) {
        settings.RememberRefused(narrow);
        return decided(false, DecisionReason::NoHost, host);
    }

    const std::string rebuilt = ToNarrow(RebuildURL(parts));
    if (IsLocalOrScriptURL(rebuilt)) return decided(true, DecisionReason::LocalOrScript, host);
    if (EqualsIgnoringAsciiCase(std::string_view(rebuilt), "about://blank"))
        return decided(true, DecisionReason::BlankPage, host);
    if (IsErrorPageHost(settings, parts)) return decided(true, DecisionReason::ErrorPageHost, host);

    MatchHost(settings, host, explain, decision);
    return decision;
}

}  // namespace

Decision Decide(ControllerSettings& settings, WideView url, bool explain) {
    return DecideAt(settings, url, explain, 0);
}

const char* DescribeReason(DecisionReason reason) {
    switch (reason) {
    case DecisionReason::LockOff: return "the lock is off";
    case DecisionReason::LocalOrScript: return "a local, shell or script address";
    case DecisionReason::Unsplittable: return "the address cannot be split";
    case DecisionReason::UserInformation: return "user information (\"@\") is left in the host";
    case DecisionReason::HostCharacters: return "the host holds a character that no host name has";
    case DecisionReason::NoHost: return "a web address without a host";
    case DecisionReason::InvalidHost: return "the host is not a valid host name";
    case DecisionReason::BlankPage: return "the blank page";
    case DecisionReason::ErrorPageHost: return "the error page's host";
    case DecisionReason::EntryMatched: return "a site-list entry occurs in the host";
    case DecisionReason::NoEntryMatched: return "no site-list entry occurs in the host";
    }
    return "";
}

HRESULT IsURLOK(ControllerSettings& settings, std::optional<WideView> url) noexcept {
    if (!url) return S_FALSE;
    try {
        return Decide(settings, *url).allowed ? S_OK : S_FALSE;
    } catch (...) {
        return S_FALSE;
    }
}

}  // namespace sentrel
