// The browser's context menu for a link, as the browser shows it: the page's
// window owns the menu, so it gets WM_INITMENUPOPUP while the menu opens;
// the menu is tracked for its result, and the chosen command is then sent to
// the page's window as WM_COMMAND, which carries it out.
#pragma once

#include <windows.h>

namespace sentrel::host {

// The browser's command ids for its link menu.
inline constexpr UINT kOpenLinkCommand = 2108;
inline constexpr UINT kOpenLinkInNewWindowCommand = 2109;
inline constexpr UINT kCopyShortcutCommand = 2262;

// Shows the link menu of `page` at `screen` (screen coordinates) and sends
// the chosen command to `page`. Returns the command, 0 when none was chosen.
UINT ShowLinkMenu(HWND page, POINT screen);

// What a person does with the menu, posted to the page's thread so that it
// works from any thread: a right click on the page, which opens the menu;
// a letter typed, which chooses the item it underlines while the menu is
// open, and a key pressed (the menu reads the keys queued for its thread).
void RightClick(HWND page);
void TypeLetter(HWND window, wchar_t letter);
void PressKey(HWND window, UINT virtualKey);

// The open popup menu window of `thread`, or null.
HWND OpenMenuOf(DWORD thread);

}  // namespace sentrel::host
