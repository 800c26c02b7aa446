#include "controller/command_line.h"

#include "support/ascii.h"

namespace sentrel {
namespace {

std::string_view WithoutTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

CommandLineAction ScanCommandLine(std::string_view commandLine) {
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != '-' && commandLine[i] != '/') continue;
        const std::string_view token = commandLine.substr(i + 1);
        if (EqualsIgnoringAsciiCase(token, "UnregServer")) return CommandLineAction::UnregServer;
        if (EqualsIgnoringAsciiCase(token, "RegServer")) return CommandLineAction::RegServer;
        // A command prompt leaves the blanks before a redirection on the
        // line ("-version > file"): the version is asked for all the same.
        if (EqualsIgnoringAsciiCase(WithoutTrailingBlanks(token), "Version")) return CommandLineAction::Version;
        if (EqualsIgnoringAsciiCase(token, "Embedding")) return CommandLineAction::Run;
    }
    return CommandLineAction::Run;
}

}  // namespace sentrel
