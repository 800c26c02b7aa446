#include "tests/wine/agent_fixture.h"

#include "controller/log_file.h"
#include "support/log_location.h"
#include "tools/client/controller_client.h"

#include <cstdio>

namespace sentrel::testing {

namespace {
const char* const kEmptyDocument =
    "<lockSettings blockPopups=\"N\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"N\" errorPage=\"\"/>";
}  // namespace

long RunRegsvr32(bool unregister) {
    return client::RunProgram(std::wstring(L"regsvr32 ") + (unregister ? L"/u " : L"") + L"/s \"" + AgentLibrary() +
                              L"\"");
}

void UseController(const char* document) {
    ASSERT_EQ(client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /RegServer"), 0);
    ASSERT_TRUE(client::StoreSettingsDocument(document ? document : kEmptyDocument));
    if (client::ControllerProcesses().empty()) {
        // COM starts it, and it reads the document then; a controller ended
        // earlier must not be handed out in its place.
        client::RunProgram(L"net stop rpcss");
        return;
    }
    ASSERT_TRUE(client::ReloadRunningController());
}

void RemoveController() {
    client::EndControllers();
    client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /UnregServer");
    // Forget the ended server's class registration.
    client::RunProgram(L"net stop rpcss");
}

std::string LockedDocument(const std::string& hosts, const std::string& errorPage, bool blockList, bool blockPopups) {
    std::string document = std::string("<lockSettings blockPopups=\"") + (blockPopups ? "Y" : "N") +
                           "\" reverseOperation=\"" + (blockList ? "Y" : "N") +
                           "\" prohibitUninstall=\"N\" active=\"Y\" errorPage=\"" + errorPage + "\">";
    size_t start = 0;
    while (start < hosts.size()) {
        size_t end = hosts.find(' ', start);
        if (end == std::string::npos) end = hosts.size();
        if (end > start) document += "<host name=\"" + hosts.substr(start, end - start) + "\"/>";
        start = end + 1;
    }
    return document + "</lockSettings>";
}

std::string ReadAgentLog() {
    std::string text;
    if (FILE* log = _wfopen(kLogPath, L"rb")) {
        char buffer[4096];
        for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, log)) > 0;) text.append(buffer, read);
        std::fclose(log);
    }
    return text;
}

void RemoveAgentLog() {
    SetFileAttributesW(kLogPath, FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(kLogPath);
}

void EmptyAgentLog() {
    RemoveAgentLog();
    EXPECT_EQ(PrepareLogFile(), S_OK);
}

HRESULT AgentCanUnloadNow() {
    const auto canUnload = AgentExport<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow");
    return canUnload ? canUnload() : E_FAIL;
}

void AgentTest::SetUpTestSuite() {
    ASSERT_EQ(RunRegsvr32(false), 0);
}

}  // namespace sentrel::testing
