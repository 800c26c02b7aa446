#include "controller/tray_icon.h"

#include <shellapi.h>

namespace sentrel {
namespace {

// The notification structure in its first form: 88 bytes, no tip text.
constexpr DWORD kFirstFormSize = 88;

NOTIFYICONDATAA IconData(HWND owner, UINT flags, HICON icon) {
    NOTIFYICONDATAA data{};
    data.cbSize = kFirstFormSize;
    data.hWnd = owner;
    data.uID = kTrayIconId;
    data.uFlags = flags;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon;
    return data;
}

}  // namespace

bool AddTrayIcon(HWND owner, HICON icon) {
    NOTIFYICONDATAA data = IconData(owner, NIF_MESSAGE | NIF_ICON, icon);
    return Shell_NotifyIconA(NIM_ADD, &data) != FALSE;
}

bool ModifyTrayIcon(HWND owner, HICON icon) {
    NOTIFYICONDATAA data = IconData(owner, NIF_ICON, icon);
    return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

bool DeleteTrayIcon(HWND owner) {
    NOTIFYICONDATAA data = IconData(owner, 0, nullptr);
    return Shell_NotifyIconA(NIM_DELETE, &data) != FALSE;
}

}  // namespace sentrel
