#include "tools/browser_host/link_menu.h"

#include "support/unique_any.h"

namespace sentrel::host {

UINT ShowLinkMenu(HWND page, POINT screen) {
    qz_support::UniqueHmenu menu(CreatePopupMenu());
    if (!menu) return 0;
    // The items and letters of the browser's own menu for a link.
    AppendMenuW(menu.get(), MF_STRING, kOpenLinkCommand, L"&Open");
    AppendMenuW(menu.get(), MF_STRING, kOpenLinkInNewWindowCommand, L"Open in &New Window");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, kCopyShortcutCommand, L"Copy Shor&tcut");
    const UINT command = static_cast<UINT>(TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD,
                                                          screen.x, screen.y, 0, page, nullptr));
    if (command != 0) SendMessageW(page, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return command;
}

void RightClick(HWND page) {
    PostMessageW(page, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20));
    PostMessageW(page, WM_RBUTTONUP, 0, MAKELPARAM(20, 20));
}

void TypeLetter(HWND window, wchar_t letter) {
    PostMessageW(window, WM_CHAR, letter, 1);
}

void PressKey(HWND window, UINT virtualKey) {
    const UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(window, WM_KEYDOWN, virtualKey, 1 | scanCode << 16);
    PostMessageW(window, WM_KEYUP, virtualKey, 1 | scanCode << 16 | 3u << 30);
}

HWND OpenMenuOf(DWORD thread) {
    // "#32768" names the system's popup menu class.
    for (HWND menu = FindWindowExW(nullptr, nullptr, L"#32768", nullptr); menu;
         menu = FindWindowExW(nullptr, menu, L"#32768", nullptr)) {
        if (IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == thread) return menu;
    }
    return nullptr;
}

}  // namespace sentrel::host
