#include "policy/drive_mapping.h"

#include "support/ascii.h"
#include "support/text.h"

#include <windows.h>
#include <winnetwk.h>

#include <string_view>

namespace sentrel {
namespace {

// The server of "server\share..." (a redirector's device path may put
// ";Z:0000000000012345\" in front of it); Unknown when none is named.
DriveMapping ServerOf(std::wstring_view rest) {
    while (!rest.empty() && rest[0] == L';') {
        const size_t end = rest.find(L'\\');
        rest = end == std::wstring_view::npos ? std::wstring_view() : rest.substr(end + 1);
    }
    const std::wstring_view server = rest.substr(0, rest.find(L'\\'));
    if (server.empty()) return {DriveMapping::Unknown, {}};
    return {DriveMapping::Server, ToNarrow(AsWideView(server))};
}

// The device a drive name stands for: "\??\UNC\server\share" for `subst`
// onto a network path, "\??\C:\folder" onto another drive, a redirector's
// device for `net use`, "\Device\HarddiskVolume1" for a disk.
std::wstring DeviceOf(const std::wstring& drive) {
    wchar_t target[1024] = {};
    if (QueryDosDeviceW(drive.c_str(), target, static_cast<DWORD>(std::size(target))) == 0) return {};
    return target;  // the first name: the one in use
}

// `text` without any of the names of the object directory of drive letters
// in front ("\??\", "\GLOBAL??\", "\DosDevices\", "GLOBALROOT\", extra
// backslashes), each of which the object manager follows to the same place.
std::wstring_view WithoutDirectoryNames(std::wstring_view text) {
    for (bool removed = true; removed;) {
        removed = false;
        while (!text.empty() && text[0] == L'\\') text.remove_prefix(1), removed = true;
        // Each name counts only as a whole one: alone, or before a backslash,
        // which the loop then removes.
        for (const std::string_view name : {"??", "GLOBAL??", "DosDevices", "GLOBALROOT"}) {
            if (StartsWithIgnoringAsciiCase(text, name) &&
                (text.size() == name.size() || text[name.size()] == L'\\')) {
                text.remove_prefix(name.size());
                removed = true;
                break;
            }
        }
    }
    return text;
}

bool IsDriveName(std::wstring_view text) {
    return text.size() >= 2 && text[1] == L':' && (text[0] | 0x20) >= L'a' && (text[0] | 0x20) <= L'z' &&
           (text.size() == 2 || text[2] == L'\\');
}

}  // namespace

// Only what is known to be a device of this machine counts as local; any
// form not recognised is Unknown, so a mapping written in an unusual way
// fails closed rather than passing as a local disk.
DriveMapping WhereDriveMaps(char letter) {
    std::wstring drive{static_cast<wchar_t>(letter), L':'};
    // `subst` may lead to another drive, which may be mapped again.
    for (int hops = 0; hops < 8; ++hops) {
        const std::wstring device = DeviceOf(drive);
        if (device.empty()) return {};  // no such drive: the path names nothing there
        const std::wstring_view target = WithoutDirectoryNames(device);
        if (StartsWithIgnoringAsciiCase(target, "UNC\\")) return ServerOf(target.substr(4));
        if (StartsWithIgnoringAsciiCase(target, "UNC")) return {DriveMapping::Unknown, {}};
        for (const std::string_view redirector :
             {"Device\\Mup", "Device\\LanmanRedirector", "Device\\WebDavRedirector", "Device\\RdpDr"}) {
            if (!StartsWithIgnoringAsciiCase(target, redirector)) continue;
            const std::wstring_view rest = target.substr(redirector.size());
            if (rest.empty() || rest[0] != L'\\') return {DriveMapping::Unknown, {}};
            return ServerOf(rest.substr(1));
        }
        if (IsDriveName(target)) {
            drive = std::wstring(target.substr(0, 2));
            continue;
        }
        if (!StartsWithIgnoringAsciiCase(target, "Device\\")) return {DriveMapping::Unknown, {}};
        // A device of this machine; a network file system behind it is
        // still told by the provider or the drive's type below.
        wchar_t remote[1024] = {};
        DWORD length = static_cast<DWORD>(std::size(remote));
        if (WNetGetConnectionW(drive.c_str(), remote, &length) == NO_ERROR && remote[0] == L'\\' &&
            remote[1] == L'\\')
            return ServerOf(std::wstring_view(remote).substr(2));
        const std::wstring root = drive + L"\\";
        if (GetDriveTypeW(root.c_str()) == DRIVE_REMOTE) return {DriveMapping::Unknown, {}};
        return {};
    }
    // More hops than `subst` chains need.
    return {DriveMapping::Unknown, {}};
}

}  // namespace sentrel
