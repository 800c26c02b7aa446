// A class entry for the controller in the user's own hive, which COM on
// Windows prefers to the machine's for a medium-integrity client: a program
// of the user's registered there answers in the controller's place.
#pragma once

namespace sentrel {

// Whether HKCU\Software\Classes\CLSID\{controller} is there in either
// registry view (32-bit and 64-bit processes see different copies). Only a
// key that is not there counts as absent: one the user made unreadable to
// hide it (COM may still open its subkeys) counts as present.
bool UserHiveRegistersController() noexcept;

}  // namespace sentrel
