// The password prompt (dialog 228): the gate in front of the settings
// dialog, the lock switch and Exit.
#pragma once

#include "settings/settings_password.h"

#include <windows.h>

namespace sentrel {

// True at once when `password` is empty; otherwise asks for it in a modal
// prompt owned by the active window. Its OK is enabled exactly while the
// text typed equals the password (same length, same characters, letter case
// counting); access is granted only when OK is pressed while the text
// equals the password, whatever the button's state.
bool ConfirmPassword(HINSTANCE instance, const SettingsPassword& password);

}  // namespace sentrel
