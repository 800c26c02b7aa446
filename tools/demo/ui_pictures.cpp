// Pictures of the controller's windows: the real controller object in this
// process opens its tray menu, its password prompt and its settings dialog
// (filled with example settings), and each window paints itself into a
// bitmap (PrintWindow), written as <folder>\<name>.bmp. Painting into a
// bitmap does not depend on what the display server shows.
#include "controller/class_factory.h"
#include "controller/tray_icon.h"
#include "resource_ids.h"
#include "settings/settings_password.h"
#include "settings/registry_store.h"
#include "tools/client/controller_client.h"

#include <oleauto.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// The window (and its children) painted into a 24-bit bitmap file.
bool Photograph(HWND window, const std::string& path) {
    RECT rect{};
    if (!window || !GetWindowRect(window, &rect)) return false;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!bitmap) return false;
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    // What the window has painted, read back from its own surface.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(300);  // a window of another thread paints when that thread gets to it
    const HDC source = GetWindowDC(window);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    ReleaseDC(window, source);
    GdiFlush();
    const DWORD stride = ((width * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + stride * height;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file) {
        std::fwrite(&header, sizeof header, 1, file);
        std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file);
        std::fwrite(bits, stride, height, file);
        std::fclose(file);
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    std::printf("%s: %d x %d\n", path.c_str(), width, height);
    return file != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string folder = argv[1];
    if (FAILED(CoInitialize(nullptr))) return 1;
    sentrel::WriteStoredDocument(
        "<lockSettings blockPopups=\"Y\" reverseOperation=\"N\" prohibitUninstall=\"N\" active=\"Y\" "
        "errorPage=\"http://intranet/refused.htm\" hostMatching=\"domain\" password=\"" +
            sentrel::SettingsPassword::Choose("demo").StoredForm() +
            "\"><host name=\"corp.example\"/><host name=\"intranet\"/><host name=\"news.example\"/>"
            "<host name=\"wiki.corp.example\"/></lockSettings>",
        true);
    sentrel::ServerModule module(GetModuleHandleA(nullptr));
    sentrel::ControllerClassFactory factory(module);
    const HWND window = FindWindowA("#32770", "Sentrel Settings");
    if (!window) return 1;
    // Two refused addresses, offered in the host name box.
    ISentrelController* controller = nullptr;
    if (SUCCEEDED(factory.CreateInstance(nullptr, IID_ISentrelController, reinterpret_cast<void**>(&controller)))) {
        for (const wchar_t* refused : {L"http://games.example/", L"http://social.example/feed"}) {
            const BSTR url = SysAllocString(refused);
            controller->IsURLOK(url);
            SysFreeString(url);
        }
        controller->Release();
    }

    bool ok = true;
    std::thread menuCamera([&] {
        const HWND menu = sentrel::client::WaitForVisibleWindow("#32768", nullptr);
        Sleep(200);
        ok &= Photograph(menu, folder + "\\tray-menu.bmp");
        if (menu) PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    SetCursorPos(400, 300);
    SendMessageA(window, sentrel::kTrayCallbackMessage, sentrel::kTrayIconId, WM_RBUTTONUP);
    menuCamera.join();

    std::thread promptCamera([&] {
        const HWND prompt = sentrel::client::WaitForVisibleWindow("#32770", "Enter Password:");
        if (!prompt) {
            ok = false;
            return;
        }
        sentrel::client::TypeText(GetDlgItem(prompt, IDC_PROMPT_PASSWORD), L"demo");
        Sleep(200);
        ok &= Photograph(prompt, folder + "\\password-prompt.bmp");
        PostMessageA(GetDlgItem(prompt, IDOK), BM_CLICK, 0, 0);
    });
    SendMessageA(window, WM_COMMAND, ID_SETTINGS, 0);
    promptCamera.join();

    MSG message;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(10);
    }
    ok &= Photograph(window, folder + "\\settings-dialog.bmp");
    CoUninitialize();
    return ok ? 0 : 1;
}
