// Settings from a central source: a URL (fetched with WinINet into a
// temporary file) or a drive or network path (read in place), imported as the stored
// settings document and handed to the controller. The worker fetches once at
// start and then every hour; the tray menu's reload does the same on demand.
#pragma once

#include "settings/controller_marks.h"
#include "settings/settings_records.h"
#include "support/text.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sentrel {

inline constexpr DWORD kSyncIntervalMs = 3'600'000;
inline constexpr const char* kSyncIntervalValue = "Sync Interval";

// The temporary files of one pass; deleted when the pass ends (or the list
// goes away), the last added first. A file that cannot be deleted stays on
// disk.
class TempFileList {
public:
    TempFileList() = default;
    TempFileList(const TempFileList&) = delete;
    TempFileList& operator=(const TempFileList&) = delete;
    ~TempFileList() { DeleteAll(); }

    void Add(std::string path) { files_.push_back(std::move(path)); }
    void DeleteAll();

private:
    std::vector<std::string> files_;
};

// Downloads the URL's body into a fresh file in the temporary folder, named
// "int" + a unique part + the URL's extension, and returns the body as it was
// written, read back through the handle that wrote it before that closed. The empty
// file the system makes for the unique part ("int" + part + ".tmp"; the
// download itself without an extension) reserves it while the download
// exists, so that no other pass picks the same name: both are added to
// `temporaries`, the reservation first. Nothing when nothing was fetched: no
// connection, an HTTP status other than 2xx, a transfer cut short, a body
// larger than kMaxSettingsTextBytes (reading stops there), a file that could
// not be written. No file is left behind then, the reservation included.
// `why`, when given, then says what failed, in words for a record.
std::optional<std::string> DownloadToTempFile(const std::string& url, TempFileList& temporaries,
                                              std::wstring* why = nullptr);

// The text of the source's document: a drive or network path read in place,
// a URL's body as it was downloaded (never read back from the file, which
// another program could replace meanwhile; the download and its reservation
// are added to `temporaries`). Nothing when nothing could be fetched (a
// file that is empty or does not open included); `why` then says why.
std::optional<WideString> FetchSettingsText(const std::string& source, TempFileList& temporaries,
                                            std::wstring* why = nullptr);

// One pass: fetches the configured source and imports it (a source the
// user's policy names into the user's settings key, made when missing); when
// it was stored, stamps "Last Sync" (under "MachineSettingsOnly" a document that
// cannot be stored is held for this run and counts as imported). Under
// "MachineSettingsOnly" a source on a drive letter is not read at all. A
// download stays in `temporaries` for the caller to delete. A pass that
// fetches nothing, and a document it refuses, are recorded in the event
// log; an imported one is noted as coming from the source, for the record
// of the load that applies it. With `mark`, also tells how the pass went as
// the controller's window shows it (settings/controller_marks.h).
enum class SyncOutcome { NoSource, Imported, Failed, DriveLetterRefused };
SyncOutcome SyncPass(TempFileList& temporaries, SyncTrigger trigger = SyncTrigger::Worker,
                     LastPassMark* mark = nullptr);

inline constexpr const char* kRetrievalFailure = "Settings could not be retrieved, please try again later";
inline constexpr const char* kDriveLetterRefusal =
    "Under the machine policy \"MachineSettingsOnly\" a settings source on a drive letter is not read: "
    "each user maps drive letters for themselves. Name the source as a network path (\\\\server\\share\\...) "
    "or a URL.";

// The tray menu's "R&eload Settings": a pass on the calling (main) thread;
// on success `loadSettings` runs at once, on failure the user is told in a
// message box owned by the active window (with the reason when the policy
// refused a drive letter). The pass is marked on `markedWindow`, if any.
SyncOutcome ReloadSettingsFromSource(const std::function<void()>& loadSettings, HWND markedWindow = nullptr);

// The time between two passes of the worker: one hour. Tests shorten it
// with the DWORD value "Sync Interval" (milliseconds, at least 100) under
// the settings key of HKEY_LOCAL_MACHINE only, where only an administrator
// writes.
DWORD SyncIntervalMs();

// The worker: passes until no source was found at the first one, or until
// `stopEvent` is signalled. Each successful import is handed to `window`
// with a synchronous "ReloadSettings"; each pass is marked on it.
void SyncWorker(HWND window, HANDLE stopEvent);

}  // namespace sentrel
