// Portable stand-ins for UrlApplySchemeA (URL_APPLY_DEFAULT) and
// InternetCrackUrlA (flags 0), following the platform's rules for the forms
// the normalisation produces.
#include "policy/url_platform.h"

#include "support/ascii.h"

#include <cstring>
#include <string_view>

namespace sentrel {
namespace {

constexpr std::string_view kDefaultPrefix = "http://";

// Bytes from 0x80 up that the platform takes as scheme characters, as
// measured with code page 1252. The splitter takes the letters and digits of
// the code page; the shell's scheme test takes only the letters between 0x80
// and 0x9F on the 32-bit platform, and a set of its own under 64-bit Wine.
constexpr std::string_view kSplitterSchemeBytes =
    "\x83\x88\x8A\x8C\x8E\x9A\x9C\x9E\x9F\xAA\xB2\xB3\xB5\xB9\xBA\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8"
    "\xC9\xCA\xCB\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF\xE0\xE1"
    "\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF8\xF9\xFA"
    "\xFB\xFC\xFD\xFE\xFF";
constexpr std::string_view kShellSchemeBytes = "\x83\x88\x8A\x8C\x8E\x98\x9A\x9C\x9E\x9F";
constexpr std::string_view kWine64ShellSchemeBytes = "\x83\x85\x86\x88\x89\x8A\x91\x95\x96\x98\x9E";
bool imitateWine64Shell = false;

enum class SchemeReader { Shell, Splitter };

bool IsSchemeChar(char c, SchemeReader reader) {
    if (static_cast<unsigned char>(c) >= 0x80)
        return (reader == SchemeReader::Splitter ? kSplitterSchemeBytes
                : imitateWine64Shell              ? kWine64ShellSchemeBytes
                                                  : kShellSchemeBytes)
                   .find(c) !=
               std::string_view::npos;
    return IsAsciiAlphanumeric(c) || c == '+' || c == '-' || c == '.';
}

// Length of the scheme when the text starts with one followed by ':'.
// minimum is 2 for the shell (one letter is a drive), 0 for the splitter.
bool FindScheme(std::string_view text, size_t minimum, SchemeReader reader, size_t& length) {
    size_t i = 0;
    while (i < text.size() && IsSchemeChar(text[i], reader)) ++i;
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

void ImitateWine64Shell(bool imitate) { imitateWine64Shell = imitate; }

HRESULT ApplyDefaultScheme(const char* address, char* out, DWORD* capacity) {
    if (address == nullptr || out == nullptr || capacity == nullptr) return E_INVALIDARG;
    const std::string_view text(address);
    size_t schemeLength = 0;
    if (FindScheme(text, 2, SchemeReader::Shell, schemeLength)) return S_FALSE;
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
    if (!FindScheme(text, 0, SchemeReader::Splitter, schemeLength)) return false;

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
        // User information ends at the first "@", as the platform splits it.
        const size_t at = authority.find('@');
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
                if (!IsAsciiDigit(c)) break;
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
