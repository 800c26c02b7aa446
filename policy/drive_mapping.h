// Where a drive letter leads. Each user maps letters of their own (`subst`,
// `net use`), so a path on a drive of this machine may be a file of a
// server: the Windows build asks the system; the native build, which sees no
// such mappings, takes every drive as local.
#pragma once

#include <string>

namespace sentrel {

struct DriveMapping {
    enum Kind {
        Local,    // a disk of this machine
        Server,   // a share on the server `server`
        Unknown,  // a network drive whose server cannot be told
    } kind = Local;
    std::string server;
};

// `letter`: 'a' to 'z', either case.
DriveMapping WhereDriveMaps(char letter);

}  // namespace sentrel
