#include "controller/notes_protection.h"

#include "controller/folder_watch.h"
#include "controller/notes_paths.h"
#include "settings/configured_values.h"
#include "support/registry.h"

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

void ForceNotesBrowserSettingsOff(const char* settingsFile) {
    for (const char* name : {"WWWDSP_SYNC_BROWSERFETCH", "WWWDSP_PREFETCH_OBJECT"}) {
        if (GetPrivateProfileIntA("Notes", name, 0, settingsFile) != 0)
            WritePrivateProfileStringA("Notes", name, "0", settingsFile);
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
