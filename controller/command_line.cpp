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

}  // namespace

CommandLineAction ScanCommandLine(std::string_view commandLine) {
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != '-' && commandLine[i] != '/') continue;
        const std::string_view token = commandLine.substr(i + 1);
        if (EqualsIgnoringCase(token, "UnregServer")) return CommandLineAction::UnregServer;
        if (EqualsIgnoringCase(token, "RegServer")) return CommandLineAction::RegServer;
        if (EqualsIgnoringCase(token, "Embedding")) return CommandLineAction::Run;
    }
    return CommandLineAction::Run;
}

}  // namespace sentrel
