#include "controller/notes_protection.h"

#include "controller/notes_paths.h"
#include "settings/registry_store.h"
#include "support/unique_any.h"

#include <shlobj.h>

namespace sentrel {
namespace {

using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);

void CloseChangeNotification(HANDLE handle) { FindCloseChangeNotification(handle); }
using UniqueChangeNotification = qz_support::UniqueAny<HANDLE, CloseChangeNotification, true>;

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
    const auto key = OpenSettingsKey(KEY_READ);
    if (!key) return false;
    DWORD value = 0, size = sizeof value;
    if (RegQueryValueExA(key.get(), kProtectNotesValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return false;
    return value == 1;
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
    const UniqueChangeNotification change(
        FindFirstChangeNotificationA(paths->dataFolder.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE));
    // Without the folder nothing is watched: the thread ends.
    if (!change) return;
    const HANDLE events[] = {change.get(), stopEvent};
    while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) {
        ForceNotesBrowserSettingsOff(paths->settingsFile.c_str());
        FindNextChangeNotification(change.get());
    }
}

}  // namespace sentrel
