// What the controller's command line asks for.
#pragma once

#include <string_view>

namespace sentrel {

enum class CommandLineAction {
    Run,
    RegServer,
    UnregServer,
    ShowUsage,            // "/?", "-h" or "--help" among the arguments
    MisusedRegistration,  // "/RegServer" or "/UnregServer" with further words after it
    Version,              // print the product's version and end, without starting the tray
};

// Scans the whole command line, program path included. A token starts after
// any '-' or '/' and runs to the end of the line (trailing blanks left out);
// it is compared with the keywords as a whole, ignoring case, so a keyword
// matches only when nothing follows it. "Embedding" ends the scan; anything
// else is skipped and the scan goes on after the separator.
// Before that, the arguments (the blank-separated words after the program
// path, which may be quoted) are looked at: a word that ends in a
// registration keyword after '-' or '/' and is not the last word is a
// misused registration, which registers nothing and starts nothing; then a
// help switch among them asks for the usage text.
CommandLineAction ScanCommandLine(std::string_view commandLine);

// The switches, for the usage text and the misuse message.
const char* CommandLineUsage();

}  // namespace sentrel
