#include "policy/drive_mapping.h"

#include "support/text.h"

#include <windows.h>
#include <winnetwk.h>

#include <string_view>

namespace sentrel {
namespace {

bool StartsWithIgnoringCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

// The server of "server\share..." (a redirector's device path may put
// ";Z:0000000000012345\" in front of it).
DriveMapping ServerOf(std::wstring_view rest) {
    if (!rest.empty() && rest[0] == L';') {
        const size_t end = rest.find(L'\\');
        rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
    }
    const std::wstring_view server = rest.substr(0, rest.find(L'\\'));
    if (server.empty()) return {DriveMapping::Unknown, {}};
    return {DriveMapping::Server, ToNarrow(AsWideView(server))};
}

// The device a drive name stands for: "\??\UNC\server\share" for `subst`
// onto a network path, "\??\C:\folder" onto another drive, a redirector's
// device for `net use`.
std::wstring DeviceOf(const std::wstring& drive) {
    wchar_t target[1024] = {};
    if (QueryDosDeviceW(drive.c_str(), target, static_cast<DWORD>(std::size(target))) == 0) return {};
    return target;  // the first name: the one in use
}

}  // namespace

DriveMapping WhereDriveMaps(char letter) {
    std::wstring drive{static_cast<wchar_t>(letter), L':'};
    // `subst` may lead to another drive, which may be mapped again.
    for (int hops = 0; hops < 8; ++hops) {
        const std::wstring device = DeviceOf(drive);
        const std::wstring_view target(device);
        if (StartsWithIgnoringCase(target, L"\\??\\UNC\\")) return ServerOf(target.substr(8));
        for (const std::wstring_view redirector : {L"\\Device\\Mup\\", L"\\Device\\LanmanRedirector\\",
                                                   L"\\Device\\WebDavRedirector\\"}) {
            if (StartsWithIgnoringCase(target, redirector)) return ServerOf(target.substr(redirector.size()));
        }
        if (StartsWithIgnoringCase(target, L"\\??\\") && target.size() >= 6 && target[5] == L':' &&
            ((target[4] | 0x20) >= L'a' && (target[4] | 0x20) <= L'z')) {
            drive = std::wstring(target.substr(4, 2));
            continue;
        }
        break;
    }
    // A connection the network provider knows of.
    wchar_t remote[1024] = {};
    DWORD length = static_cast<DWORD>(std::size(remote));
    if (WNetGetConnectionW(drive.c_str(), remote, &length) == NO_ERROR && remote[0] == L'\\' && remote[1] == L'\\')
        return ServerOf(std::wstring_view(remote).substr(2));
    const std::wstring root = drive + L"\\";
    if (GetDriveTypeW(root.c_str()) == DRIVE_REMOTE) return {DriveMapping::Unknown, {}};
    return {};
}

}  // namespace sentrel
