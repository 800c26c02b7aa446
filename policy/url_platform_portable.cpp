// Portable stand-ins for UrlApplySchemeA (URL_APPLY_DEFAULT) and
// InternetCrackUrlA (flags 0), following the platform's rules for the forms
// the normalisation produces.
#include "policy/url_platform.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace sentrel {
namespace {

constexpr std::string_view kDefaultPrefix = "http://";

bool IsSchemeChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

// Length of the scheme when the text starts with one followed by ':'.
// minimum is 2 for the shell (one letter is a drive), 0 for the splitter.
bool FindScheme(std::string_view text, size_t minimum, size_t& length) {
    size_t i = 0;
    while (i < text.size() && IsSchemeChar(text[i])) ++i;
    if (i == text.size() || text[i] != ':' || i < minimum) return false;
    length = i;
    return true;
}

bool CopyComponent(std::string_view value, char* buffer, DWORD& capacity) {
    if (buffer == nullptr) return true;  // component not asked for
    if (value.size() + 1 > capacity) return false;
    // An empty component may have no text at all (a null data pointer).
    if (!value.empty()) std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    capacity = static_cast<DWORD>(value.size());
    return true;
}

}  // namespace

HRESULT ApplyDefaultScheme(const char* address, char* out, DWORD* capacity) {
    if (address == nullptr || out == nullptr || capacity == nullptr) return E_INVALIDARG;
    const std::string_view text(address);
    size_t schemeLength = 0;
    if (FindScheme(text, 2, schemeLength)) return S_FALSE;
    const size_t needed = kDefaultPrefix.size() + text.size() + 1;
    if (*capacity < needed) {
        *capacity = static_cast<DWORD>(needed);
        return E_POINTER;
    }
    std::memcpy(out, kDefaultPrefix.data(), kDefaultPrefix.size());
    std::memcpy(out + kDefaultPrefix.size(), text.data(), text.size());
    out[needed - 1] = '\0';
    *capacity = static_cast<DWORD>(needed - 1);
    return S_OK;
}

bool SplitUrl(const char* url, UrlComponents& record) {
    if (url == nullptr) return false;
    const std::string_view text(url);
    size_t schemeLength = 0;
    if (!FindScheme(text, 0, schemeLength)) return false;

    // Query and fragment: from the first '?', else the first '#', after the scheme.
    std::string_view rest = text.substr(schemeLength + 1);
    size_t extraAt = rest.find('?');
    if (extraAt == std::string_view::npos) extraAt = rest.find('#');
    const std::string_view extra = extraAt == std::string_view::npos ? std::string_view{} : rest.substr(extraAt);
    rest = rest.substr(0, extraAt == std::string_view::npos ? rest.size() : extraAt);

    std::string_view user, password, host;
    unsigned short port = 0;
    if (rest.size() >= 2 && rest[0] == '/' && rest[1] == '/') {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);
        const size_t at = authority.rfind('@');
        if (at != std::string_view::npos) {
            const std::string_view userInfo = authority.substr(0, at);
            const size_t colon = userInfo.find(':');
            user = userInfo.substr(0, colon);
            if (colon != std::string_view::npos) password = userInfo.substr(colon + 1);
            authority.remove_prefix(at + 1);
        }
        const size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            unsigned value = 0;
            for (char c : authority.substr(colon + 1)) {
                if (!std::isdigit(static_cast<unsigned char>(c))) break;
                value = value * 10 + static_cast<unsigned>(c - '0');
                if (value > 0xFFFF) return false;
            }
            port = static_cast<unsigned short>(value);
        }
    }

    record.nScheme = 0;
    record.nPort = port;
    return CopyComponent(text.substr(0, schemeLength), record.lpszScheme, record.dwSchemeLength) &&
           CopyComponent(host, record.lpszHostName, record.dwHostNameLength) &&
           CopyComponent(user, record.lpszUserName, record.dwUserNameLength) &&
           CopyComponent(password, record.lpszPassword, record.dwPasswordLength) &&
           CopyComponent(rest, record.lpszUrlPath, record.dwUrlPathLength) &&
           CopyComponent(extra, record.lpszExtraInfo, record.dwExtraInfoLength);
}

}  // namespace sentrel
