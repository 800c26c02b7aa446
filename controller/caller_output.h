// Text for whoever started the controller from a command line or a script.
// The controller is a GUI program: it has no console of its own, and its
// standard output is there only when the caller gave one (a redirection to
// a file or a pipe).
#pragma once

#include <string_view>

namespace sentrel {

// Writes `text` to the standard output the caller gave, else to the console
// of the parent process (a command prompt) when it has one. False when the
// text reached neither.
bool WriteToCaller(std::string_view text);

}  // namespace sentrel
