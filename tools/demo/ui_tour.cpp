// A tour of the controller's windows, driven from this process as a person
// would: the tray menu, the password prompt and the settings dialog, each
// opened for a moment and described.
#include "policy/connect_controller.h"
#include "resource_ids.h"
#include "settings/settings_password.h"
#include "support/unique_any.h"
#include "tools/client/controller_client.h"

#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr UINT kTrayCallback = WM_USER + 1000;

std::wstring Items(HWND control, UINT countMessage, UINT textMessage) {
    std::wstring joined;
    for (const std::wstring& entry : sentrel::client::ControlEntries(control, countMessage, textMessage))
        joined += (joined.empty() ? L"" : L", ") + entry;
    return joined.empty() ? L"(none)" : joined;
}

const char* Check(HWND dialog, int id) {
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED ? "[x]" : "[ ]";
}

void Describe(HWND dialog) {
    std::printf("  %s Block nuisance popups\n", Check(dialog, IDC_BLOCK_POPUPS));
    std::printf("  Password: %zu characters, shown masked; Confirm: %s\n",
                sentrel::client::WindowText(GetDlgItem(dialog, IDC_PASSWORD)).size(),
                IsWindowEnabled(GetDlgItem(dialog, IDC_CONFIRM)) ? "enabled" : "empty and disabled");
    std::printf("  %s Error URL: %ls\n", Check(dialog, IDC_USE_ERROR_URL),
                sentrel::client::WindowText(GetDlgItem(dialog, IDC_ERROR_URL)).c_str());
    std::printf("  Host Name box offers the recently refused: %ls\n",
                Items(GetDlgItem(dialog, IDC_HOST_NAME), CB_GETCOUNT, CB_GETLBTEXT).c_str());
    std::printf("  Site list: %ls\n", Items(GetDlgItem(dialog, IDC_SITE_LIST), LB_GETCOUNT, LB_GETTEXT).c_str());
    std::printf("  %s Reverse operation - Block sites in this list\n", Check(dialog, IDC_REVERSE));
    std::printf("  %s Match whole host names and their subdomains\n", Check(dialog, IDC_HOST_MATCHING));
    std::printf("  %s Remove Sentrel from the uninstall list on this computer\n",
                Check(dialog, IDC_PROHIBIT_UNINSTALL));
}

}  // namespace

int main() {
    if (const HRESULT hr = CoInitialize(nullptr); FAILED(hr)) return sentrel::client::Failed("CoInitialize failed", hr);
    sentrel::client::RunProgram(L"\"" + sentrel::client::ControllerProgram() + L"\" /RegServer");
    sentrel::client::StoreSettingsDocument(
        "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"Y\" "
        "errorPage=\"http://intranet/refused.htm\" hostMatching=\"domain\" password=\"" +
        sentrel::SettingsPassword::Choose("demo").StoredForm() +
        "\"><host name=\"corp.example\"/><host name=\"intranet\"/><host name=\"news.example\"/>"
        "<host name=\"wiki.corp.example\"/></lockSettings>");
    if (!sentrel::client::StartController())
        return sentrel::client::Failed("the controller showed no main window within 15 s of its start");
    const HWND window = sentrel::client::ControllerWindow();
    qz_support::ComPtr<ISentrelController> controller;
    if (const HRESULT hr = sentrel::ConnectController(controller); FAILED(hr))
        return sentrel::client::Failed("ConnectController failed", hr);
    for (const wchar_t* refused : {L"http://games.example/", L"http://social.example/feed"}) {
        sentrel::client::AskController(controller.get(), refused);
    }

    std::printf("The tray menu, opened with the right mouse button on the padlock:\n");
    PostMessageA(window, kTrayCallback, 100, WM_RBUTTONUP);
    const HWND menu = sentrel::client::WaitForVisibleWindow("#32768", nullptr);
    RECT rect{};
    if (menu) GetWindowRect(menu, &rect);
    // Another process cannot read a menu's items under Wine; the picture in
    // docs/tray-menu.png shows them.
    std::printf("  %s, %ld x %ld pixels\n", menu ? "open" : "did not open", rect.right - rect.left,
                rect.bottom - rect.top);
    // "&Settings..." by its underlined letter.
    if (menu) PostMessageW(menu, WM_CHAR, L's', 0);

    const HWND prompt = sentrel::client::WaitForVisibleWindow("#32770", "Enter Password:");
    if (!prompt) return sentrel::client::Failed("no \"Enter Password:\" prompt within 5 s of \"&Settings...\"");
    sentrel::client::TypeText(GetDlgItem(prompt, IDC_PROMPT_PASSWORD), L"dem");
    std::printf("\nThe password prompt: \"dem\" typed, OK %s\n",
                IsWindowEnabled(GetDlgItem(prompt, IDOK)) ? "enabled" : "disabled");
    sentrel::client::TypeText(GetDlgItem(prompt, IDC_PROMPT_PASSWORD), L"o");
    std::printf("  \"demo\" typed, OK %s\n", IsWindowEnabled(GetDlgItem(prompt, IDOK)) ? "enabled" : "disabled");
    PostMessageA(GetDlgItem(prompt, IDOK), BM_CLICK, 0, 0);

    const HWND dialog = sentrel::client::WaitForVisibleWindow("#32770", "Sentrel Settings");
    if (!dialog) return sentrel::client::Failed("no \"Sentrel Settings\" dialog within 5 s of the password's OK");
    std::printf("\nThe settings dialog, filled from the settings:\n");
    Describe(dialog);
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    std::printf("  closed with Cancel: %s\n", IsWindowVisible(dialog) ? "still shown" : "hidden, nothing applied");

    controller.reset();
    sentrel::client::StopControllers();
    CoUninitialize();
    return 0;
}
