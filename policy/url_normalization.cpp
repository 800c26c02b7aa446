#include "policy/url_normalization.h"

#include "policy/url_platform.h"
#include "support/ascii.h"

#include <cstring>
#include <vector>

namespace sentrel {
namespace {

// Only the first colon (the scheme's) survives; the rest become %3A so that
// ports and user information stay inside the host and user components.
WideString EscapeLaterColons(const WideString& text) {
    WideString escaped;
    escaped.reserve(text.size());
    bool seenColon = false;
    for (char16_t c : text) {
        if (c == u':' && seenColon) {
            escaped += u"%3A";
            continue;
        }
        if (c == u':') seenColon = true;
        escaped.push_back(c);
    }
    return escaped;
}

bool IsAuthorityEnd(char16_t c) {
    return c == u'/' || c == u'\\' || c == u'?' || c == u'#';
}

bool IsSlash(char16_t c) {
    return c == u'/' || c == u'\\';
}

// Length of the scheme with its colon and the authority that follows "//".
size_t SchemeAndAuthorityLength(WideView text) {
    const auto authorityEnd = [&](size_t from) {
        while (from < text.size() && !IsAuthorityEnd(text[from])) ++from;
        return from;
    };
    if (text.size() >= 2 && IsSlash(text[0]) && IsSlash(text[1])) return authorityEnd(2);
    const size_t firstEnd = authorityEnd(0);
    const size_t colon = text.find(u':');
    if (colon == WideView::npos || colon > firstEnd) return firstEnd;
    if (colon + 2 < text.size() && IsSlash(text[colon + 1]) && IsSlash(text[colon + 2]))
        return authorityEnd(colon + 3);
    return colon + 1;
}

}  // namespace

bool SchemeAndAuthorityNarrowExactly(WideView address) {
    return NarrowsExactly(address.substr(0, SchemeAndAuthorityLength(address)));
}

WideView UpToFirstNul(WideView text) {
    return text.substr(0, text.find(u'\0'));
}

bool IsLocalOrScriptURL(std::string_view s) {
    s = s.substr(0, s.find('\0'));
    if (s.size() >= 2 && IsAsciiLetter(s[0]) && s[1] == ':' &&
        (s.size() == 2 || s[2] == '/' || s[2] == '\\'))
        return true;
    if (s.substr(0, 3) == "::{") return true;
    if (s.substr(0, 2) == "\\\\") return true;
    return StartsWithIgnoringAsciiCase(s, "file:") || StartsWithIgnoringAsciiCase(s, "res:") ||
           StartsWithIgnoringAsciiCase(s, "javascript:");
}

bool CrackURL(WideView address, URLParts& parts) {
    address = UpToFirstNul(address);
    WideString working(address);
    for (char16_t& c : working) {
        if (c == u'\\') c = u'/';
    }

    // A drive path, whatever its first character: "X:" alone or "X:/...".
    if (working.size() >= 2 && working[1] == u':' && (working.size() == 2 || working[2] == u'/')) {
        working = u"file:///" + working;
    } else {
        // The output may be at most twice as long as the address: short
        // scheme-less addresses do not get their scheme and fail to split.
        const std::string narrow = ToNarrow(working);
        DWORD capacity = static_cast<DWORD>(address.size() * 2);
        std::vector<char> output(capacity + 1, '\0');
        if (ApplyDefaultScheme(narrow.c_str(), output.data(), &capacity) == S_OK) {
            // The shell puts its scheme in front of the narrowed address; the
            // rest is taken from the wide text again, so that what the
            // narrowing substituted is still seen below.
            const std::string_view applied(output.data());
            if (applied.size() >= narrow.size() && applied.substr(applied.size() - narrow.size()) == narrow) {
                working = ToWide(applied.substr(0, applied.size() - narrow.size())) + working;
            } else {
                working = ToWide(applied);
            }
        }
    }

    working = EscapeLaterColons(working);
    // The fragment never leaves the browser, and '#' ends the authority and
    // the path; the splitter would end them only at a '?' that follows it.
    working = working.substr(0, working.find(u'#'));
    // A character without a byte of its own would be narrowed to a look-alike
    // or '?' and move the host; in the path and query it is harmless.
    if (!SchemeAndAuthorityNarrowExactly(working)) return false;

    parts.Reset();
    const std::string narrow = ToNarrow(working);
    if (!SplitUrl(narrow.c_str(), parts.components)) return false;
    if (parts.scheme[0] == '\0') std::strcpy(parts.scheme, "http");
    return true;
}

WideString RebuildURL(const URLParts& parts) {
    std::string text(parts.Scheme());
    text += "://";
    text += parts.Host();
    text += parts.Path();
    return ToWide(text);
}

WideString NormalizeURL(WideView address) {
    URLParts parts;
    if (!CrackURL(address, parts)) return {};
    return RebuildURL(parts);
}

}  // namespace sentrel
