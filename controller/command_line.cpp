#include "controller/command_line.h"

#include "support/ascii.h"

#include <vector>

namespace sentrel {
namespace {

std::string_view WithoutTrailingBlanks(std::string_view line) {
    while (!line.empty() && IsAsciiSpace(line.back())) line.remove_suffix(1);
    return line;
}

// The keyword scan: the line's own ending asks for registration.
CommandLineAction ScanForKeyword(std::string_view commandLine) {
    for (size_t i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != '-' && commandLine[i] != '/') continue;
        const std::string_view token = commandLine.substr(i + 1);
        if (EqualsIgnoringAsciiCase(token, "UnregServer")) return CommandLineAction::UnregServer;
        if (EqualsIgnoringAsciiCase(token, "RegServer")) return CommandLineAction::RegServer;
        if (EqualsIgnoringAsciiCase(token, "Version")) return CommandLineAction::Version;
        if (EqualsIgnoringAsciiCase(token, "Embedding")) return CommandLineAction::Run;
    }
    return CommandLineAction::Run;
}

// The words after the program path: a path that starts with a quote runs to
// the closing quote, and on to the next blank; any other to the first blank.
std::vector<std::string_view> Arguments(std::string_view line) {
    size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        const size_t closing = line.find('"', 1);
        i = closing == std::string_view::npos ? line.size() : closing + 1;
    }
    while (i < line.size() && !IsAsciiSpace(line[i])) ++i;
    std::vector<std::string_view> words;
    while (i < line.size()) {
        while (i < line.size() && IsAsciiSpace(line[i])) ++i;
        const size_t start = i;
        while (i < line.size() && !IsAsciiSpace(line[i])) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

bool EndsWithSwitch(std::string_view word, std::string_view keyword) {
    if (word.size() < keyword.size() + 1) return false;
    const char separator = word[word.size() - keyword.size() - 1];
    return (separator == '-' || separator == '/') &&
           EqualsIgnoringAsciiCase(word.substr(word.size() - keyword.size()), keyword);
}

bool IsRegistrationWord(std::string_view word) {
    return EndsWithSwitch(word, "RegServer") || EndsWithSwitch(word, "UnregServer");
}

bool IsHelpWord(std::string_view word) {
    for (const char* help : {"/?", "-?", "/h", "-h", "/help", "-help", "--help"})
        if (EqualsIgnoringAsciiCase(word, help)) return true;
    return false;
}

}  // namespace

CommandLineAction ScanCommandLine(std::string_view commandLine) {
    const std::vector<std::string_view> words = Arguments(commandLine);
    // A registration with more after it would otherwise start the tray
    // program, and an installer would take that for a registration.
    for (size_t i = 0; i + 1 < words.size(); ++i)
        if (IsRegistrationWord(words[i])) return CommandLineAction::MisusedRegistration;
    const CommandLineAction keyword = ScanForKeyword(WithoutTrailingBlanks(commandLine));
    if (keyword != CommandLineAction::Run) return keyword;
    for (const std::string_view word : words)
        if (IsHelpWord(word)) return CommandLineAction::ShowUsage;
    return CommandLineAction::Run;
}

const char* CommandLineUsage() {
    return "Usage: SentrelAgentController [/RegServer | /UnregServer | /Version | /?]\n"
           "\n"
           "  (none)         start the tray program; a controller that already runs shows its\n"
           "                 tray icon again\n"
           "  /RegServer     register the controller (its class, type library, access rights and\n"
           "                 the browser's elevation policy) and end\n"
           "  /UnregServer   remove that registration and end\n"
           "  /Embedding     how COM starts it for a browser: as with no switch\n"
           "  /Version       print the version and end\n"
           "  /?, -h         show this text and end\n"
           "\n"
           "Switches start with / or - and are read in any letter case. /RegServer and\n"
           "/UnregServer must be the last word on the line.\n";
}

}  // namespace sentrel
