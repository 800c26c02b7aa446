// Holds two browser-related settings of the Lotus Notes mail client at "0":
// each time something in the Notes data folder is written, section "Notes"
// of notes.ini is checked and corrected. Fails silently by ending.
#pragma once

#include <windows.h>

namespace sentrel {

// The switch under the settings key.
inline constexpr const char* kProtectNotesValue = "ProtectNotes";

// Whether "ProtectNotes" under the settings key is the 32-bit number 1
// (any type, at most four bytes). Read once, at the controller's start.
bool NotesProtectionConfigured();

// The protection thread's body; ends when the data folder cannot be
// watched, its path is too long, or `stopEvent` is signalled.
void ProtectNotes(HANDLE stopEvent);

// Sets both keys of section "Notes" of `settingsFile` to "0" where their
// integer value is not 0; keys that are absent or already 0 are not written.
void ForceNotesBrowserSettingsOff(const char* settingsFile);

}  // namespace sentrel
