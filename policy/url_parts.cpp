#include "policy/url_parts.h"

#include <cstring>

namespace sentrel {

void URLParts::Reset() {
    std::memset(&components, 0, sizeof components);
    std::memset(path, 0, sizeof path);
    std::memset(host, 0, sizeof host);
    std::memset(scheme, 0, sizeof scheme);
    std::memset(extra, 0, sizeof extra);
    std::memset(userName, 0, sizeof userName);
    std::memset(password, 0, sizeof password);

    components.dwStructSize = kRecordSize;
    components.lpszScheme = scheme;
    components.dwSchemeLength = kSchemeCapacity;
    components.lpszHostName = host;
    components.dwHostNameLength = kHostCapacity;
    components.lpszUserName = userName;
    components.dwUserNameLength = kUserNameCapacity;
    components.lpszPassword = password;
    components.dwPasswordLength = kPasswordCapacity;
    components.lpszUrlPath = path;
    components.dwUrlPathLength = kPathCapacity;
    components.lpszExtraInfo = extra;
    components.dwExtraInfoLength = kExtraCapacity;
}

}  // namespace sentrel
