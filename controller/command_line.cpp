#include "controller/command_line.h"

#include "support/ascii.h"

namespace sentrel {

CommandLineAction ScanCommandLine(std::string_view commandLine) {
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != '-' && commandLine[i] != '/') continue;
        const std::string_view token = commandLine.substr(i + 1);
        if (EqualsIgnoringAsciiCase(token, "UnregServer")) return CommandLineAction::UnregServer;
        if (EqualsIgnoringAsciiCase(token, "RegServer")) return CommandLineAction::RegServer;
        if (EqualsIgnoringAsciiCase(token, "Embedding")) return CommandLineAction::Run;
    }
    return CommandLineAction::Run;
}

}  // namespace sentrel
