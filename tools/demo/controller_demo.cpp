// Registers the controller, stores an example settings document and asks the
// running controller, through COM from this separate process, about the
// example addresses; then switches the list to a block list and asks again.
#include "policy/connect_controller.h"
#include "support/text.h"
#include "support/unique_any.h"
#include "tools/client/controller_client.h"

#include <cstdio>
#include <string>

namespace {

using sentrel::client::ControllerProgram;

const wchar_t* const kAddresses[] = {
    L"http://www.corp.test/index.htm", L"http://CORP.test/",           L"http://intranet-corp:8080/a?b=c#d",
    L"http://games.example/play",      L"http://news.example/",        L"host.test",
    L"abc.de",                         L"about:blank",                 L"C:\\Docs\\report.htm",
    L"http://INTRANET/refused.htm",
};

std::string Document(bool blockList) {
    return std::string("<lockSettings blockPopups=\"Y\" reverseOperation=\"") + (blockList ? "Y" : "N") +
           "\" prohibitUninstall=\"N\" active=\"Y\" errorPage=\"http://Intranet/refused.htm\">"
           "<host name=\"corp\"/><host name=\"games\"/></lockSettings>";
}

void Ask(ISentrelController* controller) {
    for (const wchar_t* address : kAddresses) {
        qz_support::UniqueBstr url(SysAllocString(address));
        const HRESULT answer = controller->IsURLOK(url.get());
        std::printf("  %-8s %ls\n", answer == S_OK ? "allowed" : answer == S_FALSE ? "REFUSED" : "FAILED", address);
    }
    std::printf("  AllowPopup: %s\n", controller->AllowPopup() == S_OK ? "S_OK (new windows allowed)"
                                                                       : "S_FALSE (unrequested popups refused)");
    qz_support::UniqueBstr page;
    controller->GetErrorPage(page.put());
    std::printf("  GetErrorPage: %ls\n", page ? page.get() : L"(none)");
}

}  // namespace

int main() {
    if (const HRESULT hr = CoInitialize(nullptr); FAILED(hr)) return sentrel::client::Failed("CoInitialize failed", hr);
    const long registered = sentrel::client::RunProgram(L"\"" + ControllerProgram() + L"\" /RegServer");
    std::printf("SentrelAgentController /RegServer -> exit code %ld\n", registered);
    sentrel::client::StoreSettingsDocument(Document(false));

    qz_support::ComPtr<ISentrelController> controller;
    const HRESULT connected = sentrel::ConnectController(controller);
    std::printf("ConnectController -> 0x%08lX (COM started the controller: %ls)\n",
                static_cast<unsigned long>(connected),
                sentrel::client::ControllerProcesses().empty()
                    ? L"no"
                    : sentrel::client::CommandLineOf(sentrel::client::ControllerProcesses().front()).c_str());
    if (FAILED(connected)) return sentrel::client::Failed("ConnectController failed", connected);

    std::printf("\n== site list {corp, games} as an allow list ==\n");
    Ask(controller.get());

    sentrel::client::StoreSettingsDocument(Document(true));
    sentrel::client::ReloadRunningController();
    std::printf("\n== the same list as a block list, after \"ReloadSettings\" ==\n");
    Ask(controller.get());

    const long second = sentrel::client::RunProgram(L"\"" + ControllerProgram() + L"\"");
    std::printf("\nA second start hands over to the running controller: exit code %ld, %u controller running\n",
                second, static_cast<unsigned>(sentrel::client::ControllerProcesses().size()));

    controller.reset();
    sentrel::client::StopControllers();
    CoUninitialize();
    return 0;
}
