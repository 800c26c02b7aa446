// Holds two browser-related settings of the Lotus Notes mail client at "0":
// each time something in the Notes data folder is written, section "Notes"
// of notes.ini is checked and corrected. Fails silently by ending, except
// when the data folder goes while watched.
#pragma once

#include <windows.h>

namespace sentrel {

// The switch: a policy value, else one under the settings key
// (settings/configured_values.h).
inline constexpr const char* kProtectNotesValue = "ProtectNotes";

// Whether "ProtectNotes" where it counts is the 32-bit number 1 (any type,
// at most four bytes). Read once, at the controller's start.
bool NotesProtectionConfigured();

// The protection thread's body; ends when the data folder cannot be
// watched at the start, its path is too long, or `stopEvent` is signalled.
// A data folder that goes later is looked for every few seconds; once it is
// back, it is watched again and the settings file is checked at once.
void ProtectNotes(HANDLE stopEvent);

// Sets both keys of section "Notes" of `settingsFile` to "0" where their
// integer value is not 0; keys that are absent or already 0 are not written.
void ForceNotesBrowserSettingsOff(const char* settingsFile);

}  // namespace sentrel
