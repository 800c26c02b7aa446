// The controller's command line: any text is scanned without harm, and the
// answer agrees with a plain reading of the line. Only the line's own ending
// (trailing blanks aside) can ask for registration: "-" or "/" and then the
// keyword, in any letter case; an argument word that ends so but has words
// after it is a misuse; a help word among the arguments asks for the usage.
#include "controller/command_line.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool EndsWithSwitch(const std::string& lower, std::string_view keyword) {
    if (lower.size() < keyword.size() + 1) return false;
    const size_t start = lower.size() - keyword.size();
    const char separator = lower[start - 1];
    return lower.compare(start, keyword.size(), keyword) == 0 && (separator == '-' || separator == '/');
}

bool Blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The words after the program path (quoted: up to its closing quote, then
// to a blank).
std::vector<std::string> ArgumentWords(const std::string& lower) {
    size_t start = 0;
    if (!lower.empty() && lower[0] == '"') {
        const size_t closing = lower.find('"', 1);
        start = closing == std::string::npos ? lower.size() : closing + 1;
    }
    while (start < lower.size() && !Blank(lower[start])) ++start;
    std::vector<std::string> words;
    std::string word;
    for (size_t i = start; i <= lower.size(); ++i) {
        if (i == lower.size() || Blank(lower[i])) {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += lower[i];
        }
    }
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::string lower(line);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string trimmed = lower;
    while (!trimmed.empty() && Blank(trimmed.back())) trimmed.pop_back();
    const std::vector<std::string> words = ArgumentWords(lower);

    using sentrel::CommandLineAction;
    CommandLineAction expected = CommandLineAction::Run;
    bool misused = false;
    for (size_t i = 0; i + 1 < words.size(); ++i)
        misused = misused || EndsWithSwitch(words[i], "regserver") || EndsWithSwitch(words[i], "unregserver");
    bool help = false;
    for (const std::string& word : words)
        help = help || word == "/?" || word == "-?" || word == "/h" || word == "-h" || word == "/help" ||
               word == "-help" || word == "--help";
    if (misused) {
        expected = CommandLineAction::MisusedRegistration;
    } else if (EndsWithSwitch(trimmed, "unregserver")) {
        expected = CommandLineAction::UnregServer;
    } else if (EndsWithSwitch(trimmed, "regserver")) {
        expected = CommandLineAction::RegServer;
    } else if (help) {
        expected = CommandLineAction::ShowUsage;
    }
    if (sentrel::ScanCommandLine(line) != expected) __builtin_trap();
    return 0;
}
