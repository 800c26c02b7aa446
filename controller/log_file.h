// The agent's log file as the controller's registration keeps it. A standard
// user cannot make a file at the root of C:, and a Protected Mode tab cannot
// write a file of medium integrity, so registration (run elevated) makes the
// log with a descriptor that lets every browser append to it and nobody but
// the system and administrators do more; unregistration removes it.
#pragma once

#include "support/unique_any.h"

#include <windows.h>

namespace sentrel {

// Owner Administrators, group the system; the access list protected, so
// that nothing is inherited from C:\ (whose inheritable entries let
// authenticated users modify files made there). Allowed:
//   the system (SY) and Administrators (BA): full control (FA);
//   Users (BU) and ALL APPLICATION PACKAGES (S-1-15-2-1, the app containers
//   of Enhanced Protected Mode; as a number, since Windows before 8 has no
//   "AC" alias and would refuse the whole text): FILE_APPEND_DATA |
//   FILE_READ_ATTRIBUTES | SYNCHRONIZE (0x100084), which opening a file for
//   appending needs, and nothing that reads, rewrites, truncates, deletes or
//   renames the file, changes its attributes or its descriptor.
// A low mandatory label with no-write-up (S:(ML;;NW;;;LW)), so that tabs of
// low integrity may append too.
inline constexpr const wchar_t* kLogFileSddl =
    L"O:BAG:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x100084;;;BU)(A;;0x100084;;;S-1-15-2-1)S:(ML;;NW;;;LW)";

// Names the rotation works under (controller/log_rotation.h), removed with
// the log.
inline constexpr const wchar_t* kFreshLogPath = L"C:\\Sentrel.log.new";
inline constexpr const wchar_t* kLeavingLogPath = L"C:\\Sentrel.log.old";

// The log's descriptor, converted from kLogFileSddl.
HRESULT LogFileDescriptor(qz_support::UniqueLocalDescriptor& descriptor);

// Makes a new, empty log file at `path` with the log's descriptor; fails
// when the name is taken by anything.
HRESULT CreateLogFile(const wchar_t* path);

// Makes the log when it is missing; an existing log keeps its content and
// gets the descriptor (and loses a read-only mark, which would stop every
// append). Something other than a plain file in its place (a folder, a
// link) is left alone, and the result says so.
HRESULT PrepareLogFile();

// Removes the log, the renamed one and what an interrupted rotation left;
// a name that holds no file (a folder) is left alone. A missing file counts
// as removed.
HRESULT RemoveLogFiles();

}  // namespace sentrel
