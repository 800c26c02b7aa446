// The real controller's answers for the checker's table: each document is
// stored and loaded ("ReloadSettings"), each address asked through COM.
// Prints "<document number>\t<address>\tallowed|refused" a line; a document
// the controller rejects prints "<number>\trejected" (its answers would be
// those of the settings it keeps).
#include "policy/connect_controller.h"
#include "settings/registry_store.h"
#include "support/unique_any.h"
#include "tools/client/controller_client.h"

#include <oleauto.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2 || FAILED(CoInitialize(nullptr))) return 2;
    std::ifstream table(argv[1]);
    struct Block {
        std::string document;
        std::vector<std::string> addresses;
    };
    std::vector<Block> blocks;
    for (std::string line; std::getline(table, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line == "== document") {
            blocks.emplace_back();
        } else if (!blocks.empty() && blocks.back().document.empty()) {
            blocks.back().document = line;
        } else if (!blocks.empty()) {
            blocks.back().addresses.push_back(line);
        }
    }
    // A controller of its own, started from the build with known settings.
    sentrel::client::StopControllers();
    sentrel::client::RunProgram(L"net stop rpcss");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, sentrel::kSettingsKeyPath);
    sentrel::client::RunProgram(L"\"" + sentrel::client::ControllerProgram() + L"\" /RegServer");
    sentrel::client::StoreSettingsDocument("<lockSettings active=\"N\"/>");
    if (!sentrel::client::StartController()) {
        std::fprintf(stderr, "controller_answers: the controller did not start\n");
        return 2;
    }
    qz_support::ComPtr<ISentrelController> controller;
    if (const HRESULT hr = sentrel::ConnectController(controller); FAILED(hr)) {
        std::fprintf(stderr, "controller_answers: ConnectController failed with 0x%08lX\n", static_cast<unsigned long>(hr));
        return 2;
    }
    for (size_t i = 0; i < blocks.size(); ++i) {
        // A marker that the document replaces when the controller takes it.
        sentrel::client::StoreSettingsDocument("<lockSettings active=\"Y\" errorPage=\"marker://\"/>");
        sentrel::client::ReloadRunningController();
        sentrel::client::StoreSettingsDocument(blocks[i].document);
        sentrel::client::ReloadRunningController();
        qz_support::UniqueBstr page;
        controller->GetErrorPage(page.put());
        if (page && std::wstring(page.get()) == L"marker://") {
            std::printf("%zu\trejected\n", i + 1);
            continue;
        }
        for (const std::string& address : blocks[i].addresses) {
            const std::wstring wide(address.begin(), address.end());
            const HRESULT answer = sentrel::client::AskController(controller.get(), wide.c_str());
            std::printf("%zu\t%s\t%s\n", i + 1, address.c_str(), answer == S_OK ? "allowed" : "refused");
        }
    }
    controller.reset();
    sentrel::client::StopControllers();
    CoUninitialize();
    return 0;
}
