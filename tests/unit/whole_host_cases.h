// Whole-host matching: addresses and the answer a browser's destination
// calls for, with one list used as an allow list and as a block list. One
// table for the decision on both builds and for the real controller.
#pragma once

#include "tests/unit/contacted_host_cases.h"

namespace sentrel::testing {

// "b\xfc" is u"b\u00fc" in the code page the tests run with (1252).
inline constexpr const char* kWholeHostEntries[] = {"corp.example", "10.1.2.3", "[::1]", "b\xfc" "cher.test",
                                                    "wiki.test:8080"};

inline constexpr ContactedHostCase kWholeHostCases[] = {
    // Label boundaries.
    {u"http://corp.example/", S_OK, S_FALSE},
    {u"http://www.corp.example/", S_OK, S_FALSE},
    {u"http://corp.example.attacker.test/", S_FALSE, S_OK},
    {u"http://xcorp.example/", S_FALSE, S_OK},
    {u"http://example/", S_FALSE, S_OK},
    // Spellings of one host.
    {u"http://CORP.Example/", S_OK, S_FALSE},
    {u"http://c%6Frp.example/", S_OK, S_FALSE},
    {u"http://corp%2Eexample/", S_OK, S_FALSE},
    {u"http://corp.example./", S_OK, S_FALSE},
    {u"http://corp.example:8080/x", S_OK, S_FALSE},
    // IPv4 in its forms, and other addresses.
    {u"http://167838211/", S_OK, S_FALSE},
    {u"http://0x0a.1.2.3/", S_OK, S_FALSE},
    {u"http://012.1.2.3/", S_OK, S_FALSE},
    {u"http://10.1.515/", S_OK, S_FALSE},
    {u"http://0XA010203/", S_OK, S_FALSE},
    {u"http://10.1.2.3./", S_OK, S_FALSE},
    {u"http://10.1.2.4/", S_FALSE, S_OK},
    {u"http://1.2.3/", S_FALSE, S_OK},
    {u"http://10.1.2.3.4/", S_FALSE, S_FALSE},
    {u"http://999.1.2.3/", S_FALSE, S_FALSE},
    {u"http://09.1.2.3/", S_FALSE, S_FALSE},
    {u"http://www.10.1.2.3/", S_FALSE, S_FALSE},
    {u"http://%EF%BC%91%EF%BC%96%EF%BC%97%EF%BC%98%EF%BC%93%EF%BC%98%EF%BC%92%EF%BC%91%EF%BC%91/", S_OK, S_FALSE},
    {u"http://012.1.2.%EF%BC%93/", S_OK, S_FALSE},
    // IPv6.
    {u"http://[0:0:0:0:0:0:0:1]/", S_OK, S_FALSE},
    {u"http://[::0001]:8080/", S_OK, S_FALSE},
    {u"http://[::2]/", S_FALSE, S_OK},
    {u"http://[::ffff:10.1.2.3]/", S_OK, S_FALSE},
    {u"http://[::FFFF:a01:203]:81/", S_OK, S_FALSE},
    {u"http://[1::2::3]/", S_FALSE, S_FALSE},
    {u"http://[::1%25eth0]/", S_FALSE, S_FALSE},
    // Internationalised names.
    {u"http://b%C3%BCcher.test/", S_OK, S_FALSE},
    {u"http://B\u00dcCHER.test/", S_OK, S_FALSE},
    {u"http://xn--bcher-kva.test/", S_OK, S_FALSE},
    {u"http://www.b\u00fccher.test/", S_OK, S_FALSE},
    {u"http://bucher.test/", S_FALSE, S_OK},
    {u"http://b%FCcher.test/", S_FALSE, S_FALSE},
    {u"http://%EF%BD%83orp.example/", S_OK, S_FALSE},
    {u"http://%CD%B8.corp.example/", S_FALSE, S_FALSE},
    // Nothing a browser could contact.
    {u"http://a..corp.example/", S_FALSE, S_FALSE},
    {u"http://.corp.example/", S_FALSE, S_FALSE},
    {u"http://corp.example%2Fevil.test/", S_FALSE, S_FALSE},
    {u"http://evil.test%40corp.example/", S_FALSE, S_FALSE},
    {u"http://corp.example%3a80/", S_FALSE, S_FALSE},
    {u"http://corp.example:99999/", S_FALSE, S_FALSE},
    {u"http://corp.example:80a/", S_FALSE, S_FALSE},
    // An entry with a port covers that port only.
    {u"http://wiki.test:8080/", S_OK, S_FALSE},
    {u"http://www.wiki.test:08080/", S_OK, S_FALSE},
    {u"http://wiki.test/", S_FALSE, S_OK},
    {u"http://wiki.test:80/", S_FALSE, S_OK},
    // Network paths and file addresses with a server.
    {u"\\\\corp.example\\share\\x.htm", S_OK, S_FALSE},
    {u"\\\\evil.test\\share\\x.htm", S_FALSE, S_OK},
    {u"\\\\?\\UNC\\evil.test\\share\\x.htm", S_FALSE, S_OK},
    {u"\\\\.\\pipe\\x", S_FALSE, S_FALSE},
    {u"\\\\?\\C:\\x.htm", S_OK, S_OK},
    {u"file://evil.test/x.htm", S_FALSE, S_OK},
    {u"file:////evil.test/share/x.htm", S_FALSE, S_OK},
    {u"file://corp.example/x.htm", S_OK, S_FALSE},
    {u"file:///C:/x.htm", S_OK, S_OK},
    {u"file://localhost/C:/x.htm", S_OK, S_OK},
    {u"file://localhost///corp.example/share/x.htm", S_OK, S_FALSE},
    {u"file://localhost/%5C%5Cevil.test%5Cshare/x.htm", S_FALSE, S_OK},
    {u"file:%5C%5Cevil.test%5Cshare/x.htm", S_FALSE, S_OK},
    {u"file:///%5Cevil.test%5Cshare/x.htm", S_FALSE, S_OK},
    {u"C:\\x.htm", S_OK, S_OK},
    {u"res://\\\\evil.test\\share\\x.dll/a.htm", S_FALSE, S_OK},
    {u"res://x.dll/a.gif", S_OK, S_OK},
    // Wrapper schemes: what they wrap.
    {u"view-source:http://evil.test/", S_FALSE, S_OK},
    {u"VIEW-SOURCE:http://www.corp.example/", S_OK, S_FALSE},
    {u"mhtml:http://evil.test/x.mht!a.htm", S_FALSE, S_OK},
    {u"ms-its:http://evil.test/x.chm::/a.htm", S_FALSE, S_OK},
    {u"mk:@MSITStore:\\\\evil.test\\share\\x.chm::/a.htm", S_FALSE, S_OK},
    {u"ms-its:C:\\help\\x.chm::/a.htm", S_OK, S_OK},
    {u"ms-itss:http://evil.test/x.chm::/a.htm", S_FALSE, S_OK},
    {u"feed:http://corp.example/rss", S_OK, S_FALSE},
    {u"view-source:file:%5C%5Cevil.test%5Cshare/x.htm", S_FALSE, S_OK},
    {u"ms-its:x.chm::/a.htm", S_FALSE, S_FALSE},
    {u"view-source:view-source:view-source:view-source:view-source:http://corp.example/", S_FALSE, S_FALSE},
    // Addresses without a host keep their answers.
    {u"about:blank", S_OK, S_OK},
    {u"about:home", S_FALSE, S_OK},
    {u"javascript:void(0)", S_OK, S_OK},
};

// Error pages that all load from evil.test, in the forms an address can take.
inline constexpr const char16_t* kWholeHostErrorPages[] = {
    u"\\\\evil.test\\share\\blocked.htm", u"file://EVIL.test/share/blocked.htm",
    u"\\\\?\\UNC\\evil.test\\share\\blocked.htm", u"http://evil.test./blocked.htm",
    u"view-source:http://evil.test/blocked.htm"};

// With each of those error pages, whole-host matching, allow list
// {corp.example} and block list {evil.test}: the error page's host is
// allowed in every form, the hosts around it keep their answers.
inline constexpr ContactedHostCase kWholeHostErrorPageCases[] = {
    {u"\\\\evil.test\\share\\blocked.htm", S_OK, S_OK},
    {u"\\\\EVIL.TEST\\other\\x.htm", S_OK, S_OK},
    {u"file://evil.test/share/blocked.htm", S_OK, S_OK},
    {u"http://evil.test/blocked.htm", S_OK, S_OK},
    {u"mk:@MSITStore:\\\\evil.test\\share\\x.chm::/a.htm", S_OK, S_OK},
    {u"\\\\www.evil.test\\share\\x.htm", S_FALSE, S_FALSE},
    {u"http://evil.test:8080/", S_FALSE, S_FALSE},
    {u"\\\\other.test\\share\\x.htm", S_FALSE, S_OK},
    {u"http://evil.test.other.test/", S_FALSE, S_OK},
    {u"\\\\.\\pipe\\evil.test", S_FALSE, S_FALSE},
    {u"http://corp.example/", S_OK, S_OK},
};

}  // namespace sentrel::testing
