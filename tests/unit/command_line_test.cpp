#include "controller/command_line.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(ScanCommandLine, Table) {
    using A = CommandLineAction;
    const struct {
        const char* line;
        CommandLineAction action;
    } cases[] = {
        {"C:\\Sentrel\\SentrelAgentController.exe", A::Run},
        {"SentrelAgentController.exe -RegServer", A::RegServer},
        {"SentrelAgentController.exe /regserver", A::RegServer},
        {"SentrelAgentController.exe /REGSERVER", A::RegServer},
        {"SentrelAgentController.exe -UnregServer", A::UnregServer},
        {"SentrelAgentController.exe /unREGserver", A::UnregServer},
        // A registration followed by other words registers nothing and starts nothing.
        {"SentrelAgentController.exe -RegServer now", A::MisusedRegistration},
        {"SentrelAgentController.exe /UnregServer /s", A::MisusedRegistration},
        {"SentrelAgentController.exe /regserver\t-Embedding", A::MisusedRegistration},
        {"SentrelAgentController.exe -Embedding/RegServer x", A::MisusedRegistration},
        {"\"C:\\Program Files\\Sentrel\\SentrelAgentController.exe\" /RegServer extra", A::MisusedRegistration},
        {"SentrelAgentController.exe -RegServer ", A::RegServer},  // trailing blanks are no further words
        {"SentrelAgentController.exe /UnregServer \r\n", A::UnregServer},
        {"SentrelAgentController.exe -Embedding", A::Run},
        // A token runs to the end of the line, so "Embedding" followed by more
        // text is no keyword and the scan goes on to the next separator.
        {"SentrelAgentController.exe -Embedding -RegServer", A::RegServer},
        {"SentrelAgentController.exe -Embedding/RegServer", A::RegServer},
        {"SentrelAgentController.exe -RegServer -Embedding", A::MisusedRegistration},
        {"SentrelAgentController.exe -x -RegServer", A::RegServer},
        {"SentrelAgentController.exe -RegServer -UnregServer", A::MisusedRegistration},
        {"C:/Program Files/Sentrel-2/SentrelAgentController.exe /RegServer", A::RegServer},
        {"C:/Program Files/Sentrel-2/SentrelAgentController.exe", A::Run},
        {"\"C:\\Sentrel\\SentrelAgentController.exe\" -RegServer", A::RegServer},
        {"SentrelAgentController.exe RegServer", A::Run},               // no separator
        {"SentrelAgentController.exe --RegServer", A::RegServer},       // the second '-' starts a token too
        {"SentrelAgentController.exe -", A::Run},
        {"SentrelAgentController.exe --version", A::Version},
        {"SentrelAgentController.exe /Version", A::Version},
        {"SentrelAgentController.exe -VERSION", A::Version},
        {"SentrelAgentController.exe --version now", A::Run},
        {"SentrelAgentController.exe --version ", A::Version},  // as "--version > file" leaves it
        {"SentrelAgentController.exe -version \t ", A::Version},
        {"SentrelAgentController.exe --versions", A::Run},
        {"SentrelAgentController.exe version", A::Run},
        {"SentrelAgentController.exe -Embedding --version", A::Version},
        {"SentrelAgentController.exe --version -Embedding", A::Run},
        {"SentrelAgentController.exe --version -RegServer", A::RegServer},
        {"C:\\Sentrel-version\\SentrelAgentController.exe", A::Run},
        {"", A::Run},
        // The program path is no argument: its pieces are neither help nor a misuse.
        {"\"C:\\a /RegServer b\\SentrelAgentController.exe\"", A::Run},
        {"\"C:\\x\\-h\\SentrelAgentController.exe\"", A::Run},
        {"C:\\-h", A::Run},
        // Help, in any letter case, wherever it stands among the arguments.
        {"SentrelAgentController.exe /?", A::ShowUsage},
        {"SentrelAgentController.exe -?", A::ShowUsage},
        {"SentrelAgentController.exe -h", A::ShowUsage},
        {"SentrelAgentController.exe /H", A::ShowUsage},
        {"SentrelAgentController.exe --help", A::ShowUsage},
        {"\"C:\\Sentrel\\SentrelAgentController.exe\" -Embedding /?", A::ShowUsage},
        {"SentrelAgentController.exe /? /RegServer", A::RegServer},  // the line ends with the registration
        {"SentrelAgentController.exe /?x", A::Run},
        {"SentrelAgentController.exe -hh", A::Run},
    };
    for (const auto& c : cases) EXPECT_EQ(ScanCommandLine(c.line), c.action) << c.line;
}

}  // namespace
}  // namespace sentrel
