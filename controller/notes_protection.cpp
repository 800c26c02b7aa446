#include "controller/notes_protection.h"

#include "SentrelEvents.h"
#include "controller/folder_watch.h"
#include "controller/notes_paths.h"
#include "settings/configured_values.h"
#include "settings/registry_store.h"
#include "support/event_log.h"
#include "support/registry.h"
#include "support/text.h"

#include <shlobj.h>

namespace sentrel {
namespace {

using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

// The user's local application data folder through the shell, looked up at
// run time; the library stays loaded.
std::optional<std::string> LocalApplicationData() {
    const HMODULE shell = LoadLibraryA("Shell32.dll");
    if (!shell) return std::nullopt;
    const auto getFolderPath =
        reinterpret_cast<GetFolderPath>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetFolderPathA")));
    if (!getFolderPath) return std::nullopt;
    char path[MAX_PATH] = {};
    if (getFolderPath(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) return std::nullopt;
    return std::string(path);
}

}  // namespace

bool NotesProtectionConfigured() {
    const auto key = OpenConfiguredValueKey(kProtectNotesValue).key;
    if (!key) return false;
    // Up to four bytes of any type.
    const auto read = qz_support::registry::ReadDword(key.get(), kProtectNotesValue);
    return read.state == qz_support::registry::ValueState::Present && read.value == 1;
}

namespace {

// A record must not end the protection: without memory for its text there is none.
void RecordRepair(const char* name, const char* settingsFile, int found) noexcept try {
    qz_support::WriteEvent(SENTREL_EVENT_NOTES_REPAIRED,
                           {ToWindowsWide(name), ToWindowsWide(settingsFile), std::to_wstring(found)});
} catch (...) {
}

}  // namespace

void ForceNotesBrowserSettingsOff(const char* settingsFile) {
    for (const char* name : {"WWWDSP_SYNC_BROWSERFETCH", "WWWDSP_PREFETCH_OBJECT"}) {
        const int found = static_cast<int>(GetPrivateProfileIntA("Notes", name, 0, settingsFile));
        if (found == 0 || !WritePrivateProfileStringA("Notes", name, "0", settingsFile)) continue;
        RecordRepair(name, settingsFile, found);
    }
}

void ProtectNotes(HANDLE stopEvent) {
    const std::optional<std::string> localData = LocalApplicationData();
    if (!localData) return;
    const std::optional<NotesPaths> paths = NotesPathsUnder(*localData);
    if (!paths) return;
    FolderWatch watch(paths->dataFolder);
    // Without the folder at the start nothing is watched: the thread ends.
    if (!watch.Start()) return;
    while (watch.Wait(stopEvent) != FolderWatch::Event::Stopped) {
        // A write, or a folder made anew whose writes were not seen.
        ForceNotesBrowserSettingsOff(paths->settingsFile.c_str());
    }
}

}  // namespace sentrel
