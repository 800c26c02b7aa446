#include "policy/address_reach.h"

#include "policy/drive_mapping.h"
#include "support/ascii.h"
#include "support/text.h"

#include <algorithm>

namespace sentrel {
namespace {

// "c:" or "c|": a drive, as old file addresses write it.
bool IsDrive(std::string_view text) {
    return text.size() == 2 && IsAsciiLetter(text[0]) && (text[1] == ':' || text[1] == '|');
}

// The drive a path names: its first two characters a letter and ':' or
// '|', whatever follows ("C:\x", and drive-relative "C:x", "C:.", which the
// system completes to a path on that drive).
char DriveOf(std::string_view path) { return IsDrive(path.substr(0, 2)) ? AsciiLower(path[0]) : '\0'; }

// A file of this machine at `path` (slashes already forward), with the drive
// it names.
PathReach LocalPath(std::string_view path) { return {PathReach::Local, {}, DriveOf(path)}; }

// The first path segment of `rest` (slashes already forward) as a server.
PathReach ServerOf(std::string_view rest) {
    const std::string_view server = rest.substr(0, rest.find('/'));
    if (server.empty() || DriveOf(server)) return LocalPath(rest);
    if (server == "?" || server == ".") return {PathReach::Device, {}};
    return {PathReach::Server, std::string(server)};
}

// A UNC path after its two leading slashes: \\server\share, or in its long
// forms \\?\UNC\server\share and \\?\C:\ (local); other \\?\ and \\.\ forms
// name devices.
PathReach UncReach(std::string_view rest) {
    if (rest.substr(0, 2) == "?/" || rest.substr(0, 2) == "./") {
        const std::string_view after = rest.substr(2);
        if (StartsWithIgnoringAsciiCase(after, "unc/")) return ServerOf(after.substr(4));
        if (DriveOf(after)) return LocalPath(after);
        return {PathReach::Device, {}};
    }
    return ServerOf(rest);
}

// The text with its percent escapes decoded and backslashes as slashes: the
// shell takes a file address's "%5C" as a backslash and makes a path of it.
std::string DecodedWithSlashes(std::string_view text) {
    std::string decoded = PercentDecoded(text);
    std::replace(decoded.begin(), decoded.end(), '\\', '/');
    return decoded;
}

size_t LeadingSlashes(std::string_view text) {
    size_t slashes = 0;
    while (slashes < text.size() && text[slashes] == '/') ++slashes;
    return slashes;
}

}  // namespace

size_t WrapperPrefixLength(WideView address) {
    static constexpr std::string_view kWrappers[] = {"view-source:", "mhtml:",  "ms-its:", "ms-itss:", "its:",
                                                     "mk:@msitstore:", "feed:", "feeds:"};
    for (const std::string_view wrapper : kWrappers) {
        if (StartsWithIgnoringAsciiCase(address, wrapper)) return wrapper.size();
    }
    return 0;
}

PathReach WherePathReaches(std::string_view address) {
    // "C:\x", "C:/x", and drive-relative "C:x": a path on that drive.
    if (const char drive = DriveOf(address); drive && address[1] == ':') return {PathReach::Local, {}, drive};
    const bool networkPath = address.substr(0, 2) == "\\\\" || address.substr(0, 2) == "//";
    if (!networkPath && !StartsWithIgnoringAsciiCase(address, "file:") && !StartsWithIgnoringAsciiCase(address, "res:"))
        return {};
    const std::string text = DecodedWithSlashes(address);
    std::string_view rest(text);
    // A module of res: is a file name, a local path or a network path.
    bool authorityIsServer = true;
    if (StartsWithIgnoringAsciiCase(rest, "file:")) {
        rest.remove_prefix(5);
    } else if (StartsWithIgnoringAsciiCase(rest, "res:")) {
        rest.remove_prefix(4);
        authorityIsServer = false;
    } else if (rest.substr(0, 2) == "//") {
        return UncReach(rest.substr(2));
    } else {
        return {};
    }
    const size_t slashes = LeadingSlashes(rest);
    rest.remove_prefix(slashes);
    if (slashes >= 4) return UncReach(rest);  // file:////server/share, file://///server/share
    if (slashes == 2 && authorityIsServer) {
        const std::string_view authority = rest.substr(0, rest.find('/'));
        if (!(StartsWithIgnoringAsciiCase(authority, "localhost") && authority.size() == 9)) return ServerOf(rest);
        // This machine, unless its path is a network path again
        // (file://localhost///server/share).
        rest.remove_prefix(authority.size());
        const size_t more = LeadingSlashes(rest);
        if (more >= 2) return UncReach(rest.substr(more));
        rest.remove_prefix(more);
    }
    return LocalPath(rest);
}

PathReach WherePathReallyReaches(std::string_view address) {
    PathReach reach = WherePathReaches(address);
    if (reach.kind != PathReach::Local || !reach.drive) return reach;
    DriveMapping mapping = WhereDriveMaps(reach.drive);
    switch (mapping.kind) {
    case DriveMapping::Local: return reach;
    case DriveMapping::Server: return {PathReach::Server, std::move(mapping.server)};
    case DriveMapping::Unknown: return {PathReach::Device, {}};
    }
    return reach;
}

}  // namespace sentrel
