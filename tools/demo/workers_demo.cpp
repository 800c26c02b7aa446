// The controller's helpers at work: the controller fetches its settings from
// the local web server at start, and undoes a change to the browser's
// "Enable Browser Extensions" within moments.
#include "policy/connect_controller.h"
#include "settings/registry_store.h"
#include "support/registry.h"
#include "tools/client/controller_client.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

const char* const kServedDocument =
    "<lockSettings blockPopups=\"Y\" reverseOperation=\"Y\" prohibitUninstall=\"N\" active=\"Y\" errorPage=\"\">"
    "<host name=\"games\"/><host name=\"casino\"/></lockSettings>";

}  // namespace

int main() {
    if (const HRESULT hr = CoInitialize(nullptr); FAILED(hr)) return sentrel::client::Failed("CoInitialize failed", hr);
    const std::string port = sentrel::client::Env("SENTREL_HTTP_PORT");
    if (port.empty()) return sentrel::client::Failed("SENTREL_HTTP_PORT is not set: no settings web server");
    std::ofstream(sentrel::client::Env("SENTREL_HTTP_ROOT") + "\\lock.xml", std::ios::binary) << kServedDocument;
    const std::string source = "http://127.0.0.1:" + port + "/files/lock.xml";
    sentrel::client::StoreSettingsDocument("<lockSettings active=\"N\"/>");
    qz_support::registry::CreateAndSetString(HKEY_CURRENT_USER, sentrel::kSettingsKeyPath, "Settings", source);
    std::printf("\"Settings\" = %s (served by the local web server)\n", source.c_str());

    if (!sentrel::client::StartController())
        return sentrel::client::Failed("the controller showed no main window within 15 s of its start");
    for (int i = 0; i < 100 && sentrel::client::RegistryText(HKEY_CURRENT_USER, sentrel::kSettingsKeyPath, "Last Sync") == "<absent>"; ++i)
        Sleep(50);
    std::printf("\"Last Sync\" = %s\n", sentrel::client::RegistryText(HKEY_CURRENT_USER, sentrel::kSettingsKeyPath, "Last Sync").c_str());
    std::printf("stored document = %s\n", sentrel::client::RegistryText(HKEY_CURRENT_USER, sentrel::kSettingsKeyPath, nullptr).c_str());

    qz_support::ComPtr<ISentrelController> controller;
    if (const HRESULT hr = sentrel::ConnectController(controller); FAILED(hr))
        return sentrel::client::Failed("ConnectController failed", hr);
    for (const wchar_t* address : {L"http://games.example/", L"http://news.example/"}) {
        const HRESULT answer = sentrel::client::AskController(controller.get(), address);
        std::printf("  %-8s %ls\n", answer == S_OK ? "allowed" : "REFUSED", address);
    }

    const char* const main = "Software\\Microsoft\\Internet Explorer\\Main";
    qz_support::registry::CreateAndSetString(HKEY_CURRENT_USER, main, "Enable Browser Extensions", "no");
    std::printf("\n\"Enable Browser Extensions\" set to \"no\" by someone else\n");
    for (int waited = 0; waited < 2000 && sentrel::client::RegistryText(HKEY_CURRENT_USER, main, "Enable Browser Extensions") != "yes";
         waited += 10)
        Sleep(10);
    std::printf("shortly after, the controller has set it back: \"%s\"\n",
                sentrel::client::RegistryText(HKEY_CURRENT_USER, main, "Enable Browser Extensions").c_str());

    controller.reset();
    sentrel::client::StopControllers();
    // The browsing session that follows brings its own settings.
    RegDeleteKeyValueA(HKEY_CURRENT_USER, sentrel::kSettingsKeyPath, "Settings");
    CoUninitialize();
    return 0;
}
