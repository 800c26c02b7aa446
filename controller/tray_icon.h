// The controller's notification-area icon.
#pragma once

#include <windows.h>

namespace sentrel {

inline constexpr UINT kTrayIconId = 100;
inline constexpr UINT kTrayCallbackMessage = WM_USER + 1000;  // 2024
inline constexpr UINT kShowMessage = WM_USER + 1;              // 1025

// Asks the shell to add, change or remove the icon; the shell's answer is
// passed on but callers ignore it (no taskbar yet, icon already there).
bool AddTrayIcon(HWND owner, HICON icon);
bool ModifyTrayIcon(HWND owner, HICON icon);
bool DeleteTrayIcon(HWND owner);

}  // namespace sentrel
