// A watch on one folder (not its subfolders) for files written in it, which
// also notices when the folder itself goes or is replaced by another of the
// same path: the watch is then made again on the new folder once it exists.
// Every wait also waits on the stop event, and a folder that has gone is
// looked for once per check period: nothing waits busily.
#pragma once

#include "support/unique_any.h"

#include <windows.h>

#include <optional>
#include <string>

namespace sentrel {

class FolderWatch {
public:
    // How often the folder is checked, and how often a folder that has gone
    // is looked for again.
    static constexpr DWORD kCheckPeriodMs = 2000;

    explicit FolderWatch(std::string folder) : folder_(std::move(folder)) {}
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Starts watching; false when the folder cannot be watched.
    bool Start();

    enum class Event {
        Written,    // something in the folder was written
        Rewatched,  // the folder had gone and a folder of its path is watched now; writes meanwhile were not seen
        Stopped,    // the stop event is signalled
    };
    // Waits for the next event. A Written event renews the watch at the next
    // call, so writes made while the caller handles it wake that call.
    Event Wait(HANDLE stopEvent);

    // What tells two folders of one path apart: the volume, the file index
    // and the creation time.
    struct Identity {
        DWORD volume = 0;
        ULONGLONG index = 0;
        ULONGLONG created = 0;
        bool operator==(const Identity&) const = default;
    };

private:
    static void CloseChangeNotification(HANDLE handle) { FindCloseChangeNotification(handle); }
    using UniqueChangeNotification = qz_support::UniqueAny<HANDLE, CloseChangeNotification, true>;

    bool Watch();
    void Drop();
    bool StillTheWatchedFolder() const;

    std::string folder_;
    UniqueChangeNotification change_;
    std::optional<Identity> identity_;
    bool renewPending_ = false;
};

}  // namespace sentrel
