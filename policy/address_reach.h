// For whole-host matching: addresses that load from a host their text does
// not give in the usual place. A network path and a file address with a
// server load from that server; a wrapper scheme (view-source:, mhtml:,
// ms-its:, ms-itss:, its:, mk:@MSITStore:, feed:, feeds:) loads what the
// address it wraps loads.
#pragma once

#include "support/text.h"

#include <string>
#include <string_view>

namespace sentrel {

// The length of a wrapper scheme's prefix at the start of `address` (in any
// letter case), 0 when there is none: the wrapped address follows it.
size_t WrapperPrefixLength(WideView address);

struct PathReach {
    enum Kind {
        NotAPath,  // neither a network path nor a file or res: address
        Local,     // a file of this machine
        Server,    // a file on the server `server` (its name as written)
        Device,    // a device path (\\?\GLOBALROOT\..., \\.\pipe\...): it can reach anything
    } kind = NotAPath;
    std::string server;
    char drive = 0;  // Local: the drive letter the path names (lower case), if any
};

// Where a network path (\\server\share), a file: address (file://server/,
// file:////server/), a res: address naming a module on a network path or a
// drive path (C:\x.htm) loads from, as the text says.
PathReach WherePathReaches(std::string_view address);

// The same, with a drive letter followed to where it is mapped: a drive
// mapped to a share reaches that share's server, a network drive whose
// server cannot be told is taken as a device (it could reach anything).
PathReach WherePathReallyReaches(std::string_view address);

}  // namespace sentrel
