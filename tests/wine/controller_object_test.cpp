// The controller object, its class object and its resources, in this
// process: the window from dialog 202, the menu, the prompt, the icons, the
// start-up sequence and the methods' edge cases the marshaller would hide.
#include "controller/agent_policy.h"
#include "controller/class_factory.h"
#include "controller/sentrel_controller.h"
#include "controller/tray_icon.h"
#include "resource_ids.h"
#include "settings/registry_store.h"
#include "settings/settings_dialog.h"
#include "support/com_ptr.h"
#include "tests/wine/figures.h"
#include "tests/wine/store_sandbox.h"
#include "tests/wine/taskbar_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace sentrel {
namespace {

using qz_support::ComPtr;

void Store(const char* text) { ASSERT_EQ(WriteStoredDocument(text, true), S_OK); }

std::string ReadStoredText() {
    const std::optional<WideString> text = ReadStoredDocument();
    return text ? ToNarrow(*text) : "<none>";
}

HWND ControllerWindow() { return FindWindowA("#32770", "Sentrel Settings"); }

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[128] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

HRESULT Ask(ISentrelController* controller, const wchar_t* url) {
    qz_support::UniqueBstr text(SysAllocString(url));
    return controller->IsURLOK(text.get());
}

// One controller process's worth of objects, with the error display recorded.
struct Server {
    Server() : module(GetModuleHandleA(nullptr)) {
        previous = qz_support::SetErrorDisplay([this](const std::wstring& text) { shown.push_back(text); });
        factory = std::make_unique<ControllerClassFactory>(module);
    }
    ~Server() {
        factory.reset();
        qz_support::SetErrorDisplay(previous);
    }
    ComPtr<ISentrelController> Create() {
        ComPtr<ISentrelController> controller;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_ISentrelController, controller.put_void()), S_OK);
        return controller;
    }
    ServerModule module;
    std::unique_ptr<ControllerClassFactory> factory;
    std::vector<std::wstring> shown;
    qz_support::ErrorDisplay previous;
};

using ControllerObject = testing::StoreSandbox;

TEST_F(ControllerObject, WindowIsTheHiddenSettingsDialog) {
    Server server;
    const HWND window = ControllerWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(GetParent(window), nullptr);

    const struct {
        int id;
        const char* kind;
        const char* caption;
        bool enabled;
    } controls[] = {
        {IDC_BLOCK_POPUPS, "Button", "&Block nuisance popups", true},
        {-1, "Static", "&Password:", true},
        {IDC_PASSWORD, "Edit", "", true},
        {-1, "Static", "&Confirm:", true},
        {IDC_CONFIRM, "Edit", "", false},
        {IDC_USE_ERROR_URL, "Button", "&Error URL:", true},
        {IDC_ERROR_URL, "Edit", "", false},
        {-1, "Static", "&Host Name:", true},
        {IDC_HOST_NAME, "ComboBox", "", true},
        {IDC_SITE_LIST, "ListBox", "", true},
        {IDC_PROHIBIT_UNINSTALL, "Button", "Remove Sentrel from the uninstall list on this computer", true},
        {IDC_EXPORT, "Button", "&Export...", true},
        {IDC_IMPORT, "Button", "&Import...", true},
        {IDOK, "Button", "OK", true},
        {IDCANCEL, "Button", "Cancel", true},
        {IDC_ADD_HOST, "Button", "+", true},
        {IDC_REMOVE_HOST, "Button", "-", true},
        {IDC_REMOVE_ALL, "Button", "- -", true},
        {IDC_REVERSE, "Button", "Reverse operation - Block sites in this list", true},
        {IDC_HOST_MATCHING, "Button", "&Match whole host names and their subdomains", true},
    };
    // Children in template order, which is also the tab order.
    HWND child = GetWindow(window, GW_CHILD);
    for (const auto& expected : controls) {
        ASSERT_NE(child, nullptr) << expected.caption;
        EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), expected.id) << expected.caption;
        EXPECT_EQ(ClassOf(child), expected.kind) << expected.caption;
        if (expected.kind != std::string("ComboBox")) EXPECT_EQ(TextOf(child), expected.caption);
        EXPECT_EQ(IsWindowEnabled(child) != FALSE, expected.enabled) << expected.caption;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "no further controls";
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(window, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(window, IDC_SITE_LIST), GWL_STYLE) & LBS_SORT);
    EXPECT_NE(SendMessageA(window, WM_GETICON, ICON_BIG, 0), 0) << "the big icon is the current tray image";
}

TEST_F(ControllerObject, CloseAndCancelOnlyHideTheWindow) {
    Server server;
    const HWND window = ControllerWindow();
    ShowWindow(window, SW_SHOW);
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    ShowWindow(window, SW_SHOW);
    SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
}

INT_PTR CALLBACK InertDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST_F(ControllerObject, TrayMenuAndPasswordPrompt) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    qz_support::UniqueHmenu menu(LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAY_MENU)));
    ASSERT_TRUE(menu);
    const HMENU tray = GetSubMenu(menu.get(), 0);
    ASSERT_NE(tray, nullptr);
    char name[32] = {};
    GetMenuStringA(menu.get(), 0, name, sizeof name, MF_BYPOSITION);
    EXPECT_STREQ(name, "Tray");
    const struct {
        UINT id;
        const char* text;
    } items[] = {{ID_LOCK, "&Lock Internet Explorer"}, {ID_RELOAD, "R&eload Settings"}, {ID_SETTINGS, "&Settings..."},
                 {0, ""}, {ID_EXIT, "E&xit Sentrel"}};
    ASSERT_EQ(GetMenuItemCount(tray), 5);
    for (int position = 0; position < 5; ++position) {
        char text[64] = {};
        GetMenuStringA(tray, position, text, sizeof text, MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(tray, position), items[position].id);
        EXPECT_STREQ(text, items[position].text);
    }

    const HWND prompt = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PASSWORD), nullptr, InertDialog, 0);
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(TextOf(prompt), "Enter Password:");
    EXPECT_TRUE(GetWindowLongA(GetDlgItem(prompt, IDC_PROMPT_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(prompt, IDOK)));
    DestroyWindow(prompt);
}

TEST_F(ControllerObject, PadlockIconsHaveBothSizes) {
    for (int id : {IDI_LOCKED, IDI_UNLOCKED}) {
        for (int size : {16, 32}) {
            qz_support::UniqueHicon icon(static_cast<HICON>(
                LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0)));
            ASSERT_TRUE(icon) << id;
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(icon.get(), &info));
            BITMAP bitmap{};
            GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
            EXPECT_EQ(bitmap.bmWidth, size);
            DeleteObject(info.hbmMask);
            if (info.hbmColor) DeleteObject(info.hbmColor);
        }
    }
}

TEST_F(ControllerObject, FactoryIsASingletonAndReferencesHoldModuleLocks) {
    Server server;
    IClassFactory* factory = server.factory.get();
    IUnknown* outer = reinterpret_cast<IUnknown*>(factory);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &object), E_NOINTERFACE);

    EXPECT_EQ(server.module.LockCount(), 0);
    {
        ComPtr<ISentrelController> first = server.Create();
        ComPtr<ISentrelController> second = server.Create();
        EXPECT_EQ(first.get(), second.get());
        EXPECT_EQ(server.module.LockCount(), 2);
    }
    EXPECT_EQ(server.module.LockCount(), 0);
    factory->LockServer(TRUE);
    EXPECT_EQ(server.module.LockCount(), 1);
    factory->LockServer(FALSE);
    EXPECT_EQ(server.module.LockCount(), 0);
    ComPtr<IUnknown> sameFactory;
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, sameFactory.put_void()), S_OK);
    EXPECT_EQ(server.module.LockCount(), 0) << "references to the factory hold no lock";
}

TEST_F(ControllerObject, ConstructionValuesWithoutAStoredDocument) {
    Server server;
    const ComPtr<ISentrelController> controller = server.Create();
    EXPECT_EQ(Ask(controller.get(), L"abc.de"), S_OK) << "lock off";
    EXPECT_EQ(controller->AllowPopup(), S_OK);
    qz_support::UniqueBstr page;
    EXPECT_EQ(controller->GetErrorPage(page.put()), S_OK);
    EXPECT_FALSE(page);
    EXPECT_EQ(controller->GetErrorPage(nullptr), E_POINTER);
}

TEST_F(ControllerObject, StartUpHoldsTheLockForADocumentThatCannotBeApplied) {
    Store("<lockSettings active=\"N\"><host/></lockSettings>");
    Server server;
    const ComPtr<ISentrelController> controller = server.Create();
    EXPECT_EQ(Ask(controller.get(), L"abc.de"), S_FALSE) << "the lock is held, not the construction values";
    EXPECT_TRUE(server.shown.empty()) << "no error box at start-up";
    ASSERT_NE(ControllerWindow(), nullptr) << "the start-up went on";
    // The failure is announced to the window once (taken here, so that no
    // box opens in this process).
    MSG announced{};
    EXPECT_TRUE(PeekMessageA(&announced, ControllerWindow(), kShowUnusableSettingsMessage,
                             kShowUnusableSettingsMessage, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&announced, ControllerWindow(), kShowUnusableSettingsMessage,
                              kShowUnusableSettingsMessage, PM_REMOVE));
}

TEST_F(ControllerObject, StartsFromTheStoredDocumentAndReloadsOnRequest) {
    Store("<lockSettings active=\"Y\" blockPopups=\"Y\" errorPage=\"http://intranet/x\"><host name=\"corp\"/>"
          "</lockSettings>");
    Server server;
    const ComPtr<ISentrelController> controller = server.Create();
    EXPECT_EQ(Ask(controller.get(), L"http://corp/"), S_OK);
    EXPECT_EQ(Ask(controller.get(), L"http://other/"), S_FALSE);
    EXPECT_EQ(controller->AllowPopup(), S_FALSE);
    qz_support::UniqueBstr page;
    EXPECT_EQ(controller->GetErrorPage(page.put()), S_OK);
    EXPECT_STREQ(page.get(), L"http://intranet/x");

    Store("<lockSettings reverseOperation=\"Y\"><host name=\"corp\"/></lockSettings>");
    SendMessageA(ControllerWindow(), RegisterWindowMessageA("ReloadSettings"), 0, 0);
    EXPECT_EQ(Ask(controller.get(), L"http://corp/"), S_FALSE) << "active kept, now a block list";
    EXPECT_EQ(Ask(controller.get(), L"http://other/"), S_OK);
    EXPECT_EQ(controller->AllowPopup(), S_FALSE);
}

TEST_F(ControllerObject, ReloadErrorsAreShownAndChangeNothing) {
    Store("<lockSettings active=\"Y\"><host name=\"corp\"/></lockSettings>");
    Server server;
    const ComPtr<ISentrelController> controller = server.Create();
    Store("<lockSettings active=\"N\"><host name=\"corp\"/><host/></lockSettings>");
    SendMessageA(ControllerWindow(), RegisterWindowMessageA("ReloadSettings"), 0, 0);
    ASSERT_EQ(server.shown.size(), 1u);
    EXPECT_NE(server.shown[0].find(L"0x80004003"), std::wstring::npos);
    EXPECT_NE(server.shown[0].find(L"SentrelController, line 78"), std::wstring::npos) << server.shown[0].c_str();
    EXPECT_EQ(Ask(controller.get(), L"http://other/"), S_FALSE) << "still locked";
}

TEST_F(ControllerObject, ShowPostsTheShowMessageAndReturnsAtOnce) {
    Server server;
    const ComPtr<ISentrelController> controller = server.Create();
    MSG message;
    while (PeekMessageA(&message, ControllerWindow(), kShowMessage, kShowMessage, PM_REMOVE)) {
    }
    EXPECT_EQ(controller->Show(), S_OK);
    ASSERT_TRUE(PeekMessageA(&message, ControllerWindow(), kShowMessage, kShowMessage, PM_REMOVE));
    EXPECT_EQ(message.wParam, 0u);
    EXPECT_EQ(message.lParam, 0);
}

TEST_F(ControllerObject, ShowMessageAddsTheTrayIconOnceAndTaskbarCreatedAddsItAgain) {
    testing::TaskbarRecorder taskbar;
    Server server;
    const ComPtr<ISentrelController> controller = server.Create();
    const HWND window = ControllerWindow();
    EXPECT_EQ(taskbar.Count(NIM_ADD), 0u) << "no icon before the first show message";
    controller->Show();
    controller->Show();
    testing::TaskbarRecorder::Pump(300);
    ASSERT_EQ(taskbar.Count(NIM_ADD), 1u);
    const testing::TrayRequest& added = taskbar.Requests().front();
    EXPECT_EQ(added.owner, window);
    EXPECT_EQ(added.id, 100u);
    EXPECT_EQ(added.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON)) << "no tip text";
    EXPECT_EQ(added.callbackMessage, 2024u);

    SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ(taskbar.Count(NIM_ADD), 2u);
    controller->Show();
    testing::TaskbarRecorder::Pump(100);
    EXPECT_EQ(taskbar.Count(NIM_ADD), 2u) << "the icon was already shown";
}

// The tray menu as the controller shows it, read from another thread of
// this process while it is open, then closed with Esc.
struct ShownMenu {
    std::vector<UINT> ids;
    UINT defaultItem = 0;
    bool lockChecked = false;
    bool settingsGreyed = false;
};

ShownMenu OpenTrayMenu(HWND window) {
    ShownMenu shown;
    std::thread reader([&] {
        for (int i = 0; i < 200; ++i) {
            const HWND popup = FindWindowA("#32768", nullptr);
            if (popup && IsWindowVisible(popup)) {
                const auto menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
                for (int position = 0; position < GetMenuItemCount(menu); ++position)
                    shown.ids.push_back(GetMenuItemID(menu, position));
                shown.defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
                shown.lockChecked = GetMenuState(menu, ID_LOCK, MF_BYCOMMAND) & MF_CHECKED;
                shown.settingsGreyed = GetMenuState(menu, ID_SETTINGS, MF_BYCOMMAND) & MF_GRAYED;
                PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
                return;
            }
            Sleep(25);
        }
    });
    SendMessageA(window, kTrayCallbackMessage, kTrayIconId, WM_RBUTTONUP);
    reader.join();
    return shown;
}

TEST_F(ControllerObject, TrayMenuOffersReloadOrSettingsByTheSettingsSource) {
    for (const bool sourceConfigured : {false, true}) {
        Store(sourceConfigured ? "<lockSettings active=\"Y\"/>" : "<lockSettings active=\"N\"/>");
        if (sourceConfigured) {
            const auto key = OpenSettingsKey(KEY_SET_VALUE);
            RegSetValueExA(key.get(), "Settings", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\none.xml"), 12);
        }
        Server server;
        const ShownMenu shown = OpenTrayMenu(ControllerWindow());
        const std::vector<UINT> expected = sourceConfigured
                                               ? std::vector<UINT>{ID_LOCK, ID_RELOAD, ID_SETTINGS, 0, ID_EXIT}
                                               : std::vector<UINT>{ID_LOCK, ID_SETTINGS, 0, ID_EXIT};
        EXPECT_EQ(shown.ids, expected) << sourceConfigured;
        EXPECT_EQ(shown.defaultItem, static_cast<UINT>(ID_LOCK));
        EXPECT_EQ(shown.lockChecked, sourceConfigured) << "checked exactly while locked";
        EXPECT_EQ(shown.settingsGreyed, sourceConfigured);
        testing::RemoveStoreKeys();
    }
}

TEST_F(ControllerObject, AFailingHandlerShowsTheErrorAndLeavesEverythingAsItWas) {
    Store("<lockSettings active=\"Y\"><host name=\"corp\"/></lockSettings>");
    Server server;
    const HWND window = ControllerWindow();
    SendMessageA(window, WM_COMMAND, ID_SETTINGS, 0);
    ASSERT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_PASSWORD, EM_GETLIMITTEXT, 0, 0), 19);
    EXPECT_EQ(SendDlgItemMessageA(window, IDC_CONFIRM, EM_GETLIMITTEXT, 0, 0), 19);
    // Set past the typing limit: more than the stored form holds.
    const char* const tooLong = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz";
    SetDlgItemTextA(window, IDC_PASSWORD, tooLong);
    SetDlgItemTextA(window, IDC_CONFIRM, tooLong);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_CONFIRM, EN_CHANGE), 0);
    const std::string before = ReadStoredText();
    SendMessageA(window, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(server.shown.size(), 1u);
    EXPECT_NE(server.shown[0].find(L"0x80070057"), std::wstring::npos) << server.shown[0].c_str();
    EXPECT_TRUE(IsWindowVisible(window)) << "the dialog stays open";
    EXPECT_EQ(ReadStoredText(), before) << "nothing stored";
    // The lock switch still works without a password being asked.
    SendMessageA(window, kTrayCallbackMessage, kTrayIconId, WM_LBUTTONDBLCLK);
    EXPECT_NE(ReadStoredText().find("active=\"N\""), std::string::npos);
}

// A test owner of the settings dialog: the window from dialog 202 with only
// the settings dialog behind it.
struct DialogUnderTest final : SettingsDialogOwner {
    ControllerSettings settings;
    SettingsDialog dialog{*this};
    HWND window = nullptr;
    ControllerSettings& Settings() override { return settings; }
    void LoadSettings() override {}
    void FillSettingsDialog() override { dialog.Fill(settings); }

    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* self = reinterpret_cast<DialogUnderTest*>(lParam);
            self->window = window;
            self->dialog.Bind(window);
            return TRUE;
        }
        return FALSE;
    }
    DialogUnderTest() {
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETTINGS), nullptr, Proc,
                           reinterpret_cast<LPARAM>(this));
    }
    ~DialogUnderTest() { DestroyWindow(window); }
};

TEST_F(ControllerObject, FillsAHundredThousandSitesQuickly) {
    DialogUnderTest dialog;
    ASSERT_NE(dialog.window, nullptr);
    ShowWindow(dialog.window, SW_SHOW);
    // Domain-like names of 10 to 30 characters.
    unsigned seed = 12345;
    while (dialog.settings.hosts.size() < 100000) {
        std::string name;
        seed = seed * 1103515245 + 12345;
        const size_t length = 10 + (seed >> 16) % 21;
        while (name.size() + 4 < length) {
            seed = seed * 1103515245 + 12345;
            name += static_cast<char>('a' + (seed >> 16) % 26);
        }
        dialog.settings.hosts.Insert(name + ".com");
    }
    const ULONGLONG start = GetTickCount64();
    dialog.dialog.Fill(dialog.settings);
    const ULONGLONG elapsed = GetTickCount64() - start;
    testing::ReportFigure("Settings dialog: 100,000 sites filled into the list box in " + std::to_string(elapsed) +
                          " ms");
    EXPECT_EQ(SendDlgItemMessageA(dialog.window, IDC_SITE_LIST, LB_GETCOUNT, 0, 0), 100000);
    EXPECT_LE(elapsed, 2000u);

    ControllerSettings applied;
    dialog.dialog.ApplyTo(applied);
    EXPECT_EQ(applied.hosts.size(), 100000u);
    EXPECT_TRUE(std::equal(applied.hosts.begin(), applied.hosts.end(), dialog.settings.hosts.begin()));
}

TEST_F(ControllerObject, ConstructionWritesTheAgentPolicy) {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID",
                       kAgentClsidText);
    Server server;
    char value[8] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Ext\\CLSID",
                           kAgentClsidText, RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, "1");
    EXPECT_EQ(size, 2u);
}

TEST(ServerModule, EndsTheLoopFiveSecondsAfterTheLastLockIsReleased) {
    ServerModule module(GetModuleHandleA(nullptr));
    ASSERT_TRUE(module.StartShutdownMonitor());
    module.Lock();
    const DWORD released = GetTickCount();
    module.Unlock();
    MSG message;
    bool quit = false;
    while (GetTickCount() - released < 9000 && !quit) {
        quit = PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        Sleep(20);
    }
    ASSERT_TRUE(quit);
    EXPECT_GE(GetTickCount() - released, 4900u);
}

}  // namespace
}  // namespace sentrel
