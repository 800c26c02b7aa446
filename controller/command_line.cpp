#include "controller/command_line.h"

#include <cctype>

namespace sentrel {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view WithoutTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

CommandLineAction ScanCommandLine(std::string_view commandLine) {
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != '-' && commandLine[i] != '/') continue;
        const std::string_view token = commandLine.substr(i + 1);
        if (EqualsIgnoringCase(token, "UnregServer")) return CommandLineAction::UnregServer;
        if (EqualsIgnoringCase(token, "RegServer")) return CommandLineAction::RegServer;
        // A command prompt leaves the blanks before a redirection on the
        // line ("-version > file"): the version is asked for all the same.
        if (EqualsIgnoringCase(WithoutTrailingBlanks(token), "Version")) return CommandLineAction::Version;
        if (EqualsIgnoringCase(token, "Embedding")) return CommandLineAction::Run;
    }
    return CommandLineAction::Run;
}

}  // namespace sentrel
