// Text for whoever started the program from a command line. A GUI program
// has no console of its own, so the text goes to the standard output or
// error that the starter gave it (a pipe, a file), else to the console of
// the parent process (a command prompt) when there is one, else to a message
// box, and that only on a desktop a user can see, so that an unattended
// start (an installer's custom action as the system) never waits for a click.
#pragma once

#include <windows.h>

#include <string_view>

namespace sentrel {

enum class StarterStream { Output, Error };

// Line ends are written as CRLF.
void ReplyToStarter(std::string_view text, StarterStream stream, UINT boxIcon);

}  // namespace sentrel
