// The controller's command line: any text is scanned without harm, and since
// a keyword runs to the end of the line, only the line's own ending can ask
// for registration: "-" or "/" and then the keyword, in any letter case.
#include "controller/command_line.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

bool EndsWithSwitch(const std::string& lower, std::string_view keyword) {
    if (lower.size() < keyword.size() + 1) return false;
    const size_t start = lower.size() - keyword.size();
    const char separator = lower[start - 1];
    return lower.compare(start, keyword.size(), keyword) == 0 && (separator == '-' || separator == '/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::string lower(line);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    sentrel::CommandLineAction expected = sentrel::CommandLineAction::Run;
    if (EndsWithSwitch(lower, "unregserver")) {
        expected = sentrel::CommandLineAction::UnregServer;
    } else if (EndsWithSwitch(lower, "regserver")) {
        expected = sentrel::CommandLineAction::RegServer;
    }
    if (sentrel::ScanCommandLine(line) != expected) __builtin_trap();
    return 0;
}
