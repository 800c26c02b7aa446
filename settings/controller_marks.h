// What a running controller shows of its state on its window, as window
// properties, for a program that looks at the machine (sentrel-check
// --machine) without a method of the controller's interface: whether it
// holds the lock because its stored settings could not be used, and how its
// last settings pass went. Any program on the desktop can read them; one
// that can send the window messages can also write them, so they describe,
// and the lock never depends on them.
#pragma once

#include <windows.h>

namespace sentrel {

// The window (the hidden settings dialog) that carries the marks.
inline constexpr const char* kControllerWindowClass = "#32770";
inline constexpr const char* kControllerWindowTitle = "Sentrel Settings";

enum class LastPassMark {
    None = 0,            // no pass has ended yet
    NoSource,            // no source is configured
    Stored,              // the fetched document was stored (and "Last Sync" stamped)
    Held,                // it loads but could not be stored: applied for this run only
    Failed,              // nothing fetched, or the document did not load
    DriveLetterRefused,  // a drive-letter source under "MachineSettingsOnly"
};

void MarkLockHeld(HWND window, bool held);
bool LockHeldMark(HWND window);

void MarkLastPass(HWND window, LastPassMark pass);
LastPassMark LastPassMarkOf(HWND window);

// Removes the marks; before the window is destroyed.
void ClearControllerMarks(HWND window);

}  // namespace sentrel
