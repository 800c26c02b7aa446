// Addresses whose text names one host while a browser contacts another, and
// their neighbours that must keep their answers. One table for the decision
// on both builds and for the real controller asked over COM.
#pragma once

#include "support/platform.h"

namespace sentrel::testing {

struct ContactedHostCase {
    const char16_t* url;
    HRESULT allowList;  // allow list {corp.example}
    HRESULT blockList;  // block list {evil.test}
};

inline constexpr const char* kContactedAllowEntry = "corp.example";
inline constexpr const char* kContactedBlockEntry = "evil.test";

// Error page http://intranet/refused.htm.
inline constexpr ContactedHostCase kContactedHostCases[] = {
    // '#' ends the authority even where a '?' follows.
    {u"http://evil.test#corp.example?", S_FALSE, S_FALSE},
    {u"http://evil.test#@corp.example?x", S_FALSE, S_FALSE},
    {u"http://corp.example#frag?x", S_OK, S_OK},
    {u"http://corp.example/#@evil.test?", S_OK, S_OK},
    // Characters without a byte of their own in the scheme or the authority.
    {u"http://corp.example\u4e2d@evil.test/", S_FALSE, S_FALSE},
    {u"http://corp.example\uff0f@evil.test/", S_FALSE, S_FALSE},
    {u"http://evil.test\uff03corp.example/", S_FALSE, S_FALSE},
    {u"http://c\u014drp.example/", S_FALSE, S_FALSE},
    {u"http://intranet\u4e2d@evil.test/", S_FALSE, S_FALSE},
    {u"corp.example\u4e2d@evil.test/", S_FALSE, S_FALSE},
    {u"\uff46ile://evil.test/x.htm", S_FALSE, S_FALSE},
    {u"htt\u0440://corp.example/", S_FALSE, S_FALSE},
    // ... and elsewhere, where they are harmless.
    {u"http://corp.example/\u4e2d\u6587.htm", S_OK, S_OK},
    {u"http://corp.example/?q=\u4e2d#\uff03", S_OK, S_OK},
    {u"corp.example/\u4e2d", S_OK, S_OK},
    {u"http://caf\u00e9.corp.example/", S_OK, S_OK},
    {u"C:\\Docs\\\u4e2d.htm", S_OK, S_OK},
    // Characters no host name has.
    {u"http://corp%2Eexample/", S_FALSE, S_FALSE},
    {u"http://evil%2etest/", S_FALSE, S_FALSE},
    {u"http://evil.test corp.example/", S_FALSE, S_FALSE},
    {u"http://evil.test\u0001corp.example/", S_FALSE, S_FALSE},
    {u"http://evil.test\tcorp.example/", S_FALSE, S_FALSE},
    // Ports travel in the host as "%3A".
    {u"http://corp.example:8080/", S_OK, S_OK},
    {u"http://evil.test:8080/", S_FALSE, S_FALSE},
    // A web address without a host is refused; other schemes keep today's rule.
    {u"http:///corp.example/", S_FALSE, S_FALSE},
    {u"http:evil.test", S_FALSE, S_FALSE},
    {u"about:home", S_FALSE, S_OK},
    // The error page's host.
    {u"http://intranet/refused.htm", S_OK, S_OK},
    {u"http://INTRANET/other#x?y", S_OK, S_OK},
};

// Error page C:\refused.htm, whose host is empty: an empty host is exempted
// only for addresses that are not web addresses.
inline constexpr ContactedHostCase kEmptyHostCases[] = {
    {u"http:///evil.test/", S_FALSE, S_FALSE},
    {u"https:/evil.test/", S_FALSE, S_FALSE},
    {u"http:evil.test", S_FALSE, S_FALSE},
    {u"ftp:///evil.test/", S_FALSE, S_FALSE},
    {u"HTTPS:evil.test", S_FALSE, S_FALSE},
    {u"about:home", S_OK, S_OK},
    {u"mailto:someone", S_OK, S_OK},
    {u"http://corp.example/", S_OK, S_OK},
};

}  // namespace sentrel::testing
