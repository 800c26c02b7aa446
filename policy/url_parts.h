// URLParts: the platform's URL component record together with the six
// fixed-size buffers its pointers designate. A decision zero-fills one,
// splits an address into it and reads the host back; nothing is allocated
// for the components.
#pragma once

#include "support/platform.h"

#include <string_view>

#ifdef _WIN32
#include <wininet.h>
namespace sentrel {
using UrlComponents = URL_COMPONENTSA;
#ifndef _WIN64
static_assert(sizeof(UrlComponents) == 60, "URL_COMPONENTSA must have its 32-bit layout");
#endif
}  // namespace sentrel
#else
namespace sentrel {
// Same members, names and order as URL_COMPONENTSA.
struct UrlComponents {
    DWORD dwStructSize;
    char* lpszScheme;
    DWORD dwSchemeLength;
    int nScheme;
    char* lpszHostName;
    DWORD dwHostNameLength;
    unsigned short nPort;
    char* lpszUserName;
    DWORD dwUserNameLength;
    char* lpszPassword;
    DWORD dwPasswordLength;
    char* lpszUrlPath;
    DWORD dwUrlPathLength;
    char* lpszExtraInfo;
    DWORD dwExtraInfoLength;
};
}  // namespace sentrel
#endif

namespace sentrel {

struct URLParts {
    // 60 bytes in the 32-bit product.
    static constexpr DWORD kRecordSize = sizeof(UrlComponents);
    static constexpr DWORD kSchemeCapacity = 256;
    static constexpr DWORD kHostCapacity = 2048;
    static constexpr DWORD kUserNameCapacity = 256;
    static constexpr DWORD kPasswordCapacity = 256;
    static constexpr DWORD kPathCapacity = 2048;
    static constexpr DWORD kExtraCapacity = 4096;

    UrlComponents components;
    char path[kPathCapacity];
    char host[kHostCapacity];
    char scheme[kSchemeCapacity];
    char extra[kExtraCapacity];
    char userName[kUserNameCapacity];
    char password[kPasswordCapacity];

    URLParts() { Reset(); }
    // The record points into its own buffers, so it is never copied.
    URLParts(const URLParts&) = delete;
    URLParts& operator=(const URLParts&) = delete;

    // Zero-fills the record and the buffers and points the record at them.
    void Reset();

    // Components as the last successful split left them (NUL-terminated in
    // their buffers).
    std::string_view Scheme() const { return scheme; }
    std::string_view Host() const { return host; }
    std::string_view Path() const { return path; }
    std::string_view Extra() const { return extra; }
    std::string_view UserName() const { return userName; }
};

}  // namespace sentrel
