// Whole-host matching: addresses and the answer a browser's destination
// calls for, with one list used as an allow list and as a block list. One
// table for the decision on both builds and for the real controller.
#pragma once

#include "tests/unit/contacted_host_cases.h"

namespace sentrel::testing {

// "b\xfc" and "caf\xe9" are u"b\u00fc" and u"caf\u00e9" in the code page the
// tests run with (1252). Names in other scripts stand in their ASCII form,
// one (Korean) as the percent escapes of its UTF-8.
inline constexpr const char* kWholeHostEntries[] = {
    "corp.example", "10.1.2.3", "[::1]", "b\xfc" "cher.test", "wiki.test:8080", "caf\xe9.test", "strasse.test",
    "xn--4xaa.test",                       // Greek σσ
    "xn--hxajbheg2az3al.xn--jxalpdlp",     // Greek παράδειγμα.δοκιμή
    "xn--e1afmkfd.xn--80akhbyknj4f",       // Cyrillic пример.испытание
    "xn--mgbh0fb.xn--kgbechtv",            // Arabic مثال.إختبار
    "xn--6dbbec0c.xn--deba0ad",            // Hebrew דוגמה.טעסט
    "xn--fsqu00a.xn--0zwm56d",             // Chinese 例子.测试
    "xn--zckzah.test",                     // Japanese テスト
    "%EC%8B%A4%EB%A1%80.%ED%85%8C%EC%8A%A4%ED%8A%B8",  // Korean 실례.테스트
    "xn--p1b6ci4b4b3a.xn--11b5bs3a9aj6g",  // Devanagari उदाहरण.परीक्षा
    "xn--72c1a1bt4awk9o.xn--o3cw4h",       // Thai ตัวอย่าง.ไทย
};

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
    {u"http://B%C3%9CCHER.test/", S_OK, S_FALSE},
    {u"http://XN--BCHER-KVA.test/", S_OK, S_FALSE},
    {u"http://%EF%BD%98n--bcher-kva.test/", S_OK, S_FALSE},  // full-width x: the ASCII form spelled otherwise
    {u"http://caf%C3%A9.test/", S_OK, S_FALSE},
    {u"http://CAF%C3%89.test/", S_OK, S_FALSE},
    {u"http://cafe%CC%81.test/", S_OK, S_FALSE},  // e and a combining acute: composed first
    {u"http://wi%E2%84%AAi.test:8080/", S_OK, S_FALSE},  // the Kelvin sign is a k
    {u"http://%C4%B0stanbul.test/", S_FALSE, S_OK},      // a capital dotted I keeps its dot
    {u"http://c%D0%BErp.example/", S_FALSE, S_OK},        // a Cyrillic o is another name
    // The deviation characters as Windows maps them: sharp s to "ss", final sigma to sigma.
    {u"http://stra%C3%9Fe.test/", S_OK, S_FALSE},
    {u"http://STRA%E1%BA%9EE.test/", S_OK, S_FALSE},
    {u"http://%CF%83%CF%82.test/", S_OK, S_FALSE},
    {u"http://%CE%A3%CE%A3.test/", S_OK, S_FALSE},
    // Other scripts, in small and capital letters, escaped, in their ASCII form.
    {u"http://%CF%80%CE%B1%CF%81%CE%AC%CE%B4%CE%B5%CE%B9%CE%B3%CE%BC%CE%B1.%CE%B4%CE%BF%CE%BA%CE%B9%CE%BC%CE%AE/", S_OK,
     S_FALSE},
    {u"http://%CE%A0%CE%91%CE%A1%CE%86%CE%94%CE%95%CE%99%CE%93%CE%9C%CE%91.%CE%94%CE%9F%CE%9A%CE%99%CE%9C%CE%89/", S_OK,
     S_FALSE},
    {u"http://XN--HXAJBHEG2AZ3AL.xn--jxalpdlp/", S_OK, S_FALSE},
    {u"http://www.%D0%BF%D1%80%D0%B8%D0%BC%D0%B5%D1%80.%D0%B8%D1%81%D0%BF%D1%8B%D1%82%D0%B0%D0%BD%D0%B8%D0%B5/", S_OK,
     S_FALSE},
    {u"http://%D0%9F%D0%A0%D0%98%D0%9C%D0%95%D0%A0.xn--80akhbyknj4f/", S_OK, S_FALSE},
    {u"http://xn--e1afmkfd.test/", S_FALSE, S_OK},
    {u"http://%D9%85%D8%AB%D8%A7%D9%84.%D8%A5%D8%AE%D8%AA%D8%A8%D8%A7%D8%B1/", S_OK, S_FALSE},
    {u"http://%D9%85%D8%AB%D8%A7%D9%84.test/", S_FALSE, S_OK},
    {u"http://%D7%93%D7%95%D7%92%D7%9E%D7%94.%D7%98%D7%A2%D7%A1%D7%98/", S_OK, S_FALSE},
    {u"http://%E4%BE%8B%E5%AD%90.%E6%B5%8B%E8%AF%95/", S_OK, S_FALSE},
    {u"http://%E4%BE%8B%E5%AD%90%E3%80%82%E6%B5%8B%E8%AF%95/", S_OK, S_FALSE},  // the ideographic full stop
    {u"http://%E4%BE%8B.%E6%B5%8B%E8%AF%95/", S_FALSE, S_OK},
    {u"http://%E3%83%86%E3%82%B9%E3%83%88.test/", S_OK, S_FALSE},
    {u"http://%EF%BE%83%EF%BD%BD%EF%BE%84.test/", S_OK, S_FALSE},  // half-width katakana
    {u"http://xn--9n2bp8q.xn--9t4b11yi5a/", S_OK, S_FALSE},
    {u"http://%EC%8B%A4%EB%A1%80.%ED%85%8C%EC%8A%A4%ED%8A%B8/", S_OK, S_FALSE},
    {u"http://%E1%84%89%E1%85%B5%E1%86%AF%E1%84%85%E1%85%A8.%ED%85%8C%EC%8A%A4%ED%8A%B8/", S_OK, S_FALSE},  // jamo
    {u"http://%E0%A4%89%E0%A4%A6%E0%A4%BE%E0%A4%B9%E0%A4%B0%E0%A4%A3."
     u"%E0%A4%AA%E0%A4%B0%E0%A5%80%E0%A4%95%E0%A5%8D%E0%A4%B7%E0%A4%BE/",
     S_OK, S_FALSE},
    {u"http://xn--p1b6ci4b4b3a.%E0%A4%AA%E0%A4%B0%E0%A5%80%E0%A4%95%E0%A5%8D%E2%80%8D%E0%A4%B7%E0%A4%BE/", S_OK,
     S_FALSE},  // a joiner after the virama vanishes
    {u"http://%E0%B8%95%E0%B8%B1%E0%B8%A7%E0%B8%AD%E0%B8%A2%E0%B9%88%E0%B8%B2%E0%B8%87.%E0%B9%84%E0%B8%97%E0%B8%A2/",
     S_OK, S_FALSE},
    {u"http://%E2%98%83.test/", S_FALSE, S_OK},
    {u"http://xn--zzzz.test/", S_FALSE, S_OK},  // ASCII labels stand as written
    // Labels IDNA refuses.
    {u"http://xn--%C3%BC.test/", S_FALSE, S_FALSE},
    {u"http://ab--%C3%BC.test/", S_FALSE, S_FALSE},
    {u"http://-%C3%BC.test/", S_FALSE, S_FALSE},
    {u"http://%C3%BC-.test/", S_FALSE, S_FALSE},
    {u"http://corp%EF%BC%8D.example/", S_FALSE, S_FALSE},  // a full-width hyphen last
    {u"http://%E1%84%80.test/", S_FALSE, S_FALSE},         // a conjoining jamo alone
    {u"http://%EE%80%80.test/", S_FALSE, S_FALSE},         // private use
    {u"http://%EF%BF%BD.test/", S_FALSE, S_FALSE},
    {u"http://%C3%BC%00corp.example/", S_FALSE, S_FALSE},
    {u"http://%ED%A0%80.test/", S_FALSE, S_FALSE},  // a surrogate in UTF-8
    {u"http://%C0%AE.test/", S_FALSE, S_FALSE},     // an overlong form
    {u"http://%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4"
     u"%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4"
     u"%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4"
     u"%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4%C3%A4.test/",
     S_FALSE, S_FALSE},  // 60 letters: longer than a label in its ASCII form
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
