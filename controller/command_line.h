// What the controller's command line asks for.
#pragma once

#include <string_view>

namespace sentrel {

// Version: print the product's version and end, without starting the tray.
enum class CommandLineAction { Run, RegServer, UnregServer, Version };

// Scans the whole command line, program path included. A token starts after
// any '-' or '/' and runs to the end of the line; it is compared with the
// keywords as a whole, ignoring case, so a keyword matches only when nothing
// follows it (for "Version", nothing but blanks). "Embedding" ends the scan;
// anything else is skipped and the scan goes on after the separator.
CommandLineAction ScanCommandLine(std::string_view commandLine);

}  // namespace sentrel
