#include "controller/folder_watch.h"

namespace sentrel {
namespace {

std::optional<FolderWatch::Identity> IdentityOf(const std::string& folder) {
    const qz_support::UniqueFile handle(CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!handle || !GetFileInformationByHandle(handle.get(), &information) ||
        !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    const auto join = [](DWORD high, DWORD low) { return (static_cast<ULONGLONG>(high) << 32) | low; };
    return FolderWatch::Identity{
        information.dwVolumeSerialNumber, join(information.nFileIndexHigh, information.nFileIndexLow),
        join(information.ftCreationTime.dwHighDateTime, information.ftCreationTime.dwLowDateTime)};
}

bool IsFolder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool FolderWatch::Start() { return Watch(); }

bool FolderWatch::Watch() {
    Drop();
    change_.reset(FindFirstChangeNotificationA(folder_.c_str(), FALSE, FILE_NOTIFY_CHANGE_LAST_WRITE));
    if (!change_) return false;
    identity_ = IdentityOf(folder_);
    return true;
}

void FolderWatch::Drop() {
    change_.reset();
    identity_.reset();
    renewPending_ = false;
}

// A deleted folder may stay behind, marked for deletion, until the watch's
// handle closes, and a watch on a folder that has gone may never fire again:
// the folder is checked by its identity (by its presence alone when the
// identity could not be read).
bool FolderWatch::StillTheWatchedFolder() const {
    if (!identity_) return IsFolder(folder_);
    const std::optional<Identity> now = IdentityOf(folder_);
    return now && *now == *identity_;
}

FolderWatch::Event FolderWatch::Wait(HANDLE stopEvent) {
    if (renewPending_) {
        renewPending_ = false;
        // A watch that cannot be renewed stays signalled: waiting on it again
        // would return at once, for ever.
        if (!FindNextChangeNotification(change_.get())) Drop();
    }
    for (;;) {
        if (!change_) {
            if (Watch()) return Event::Rewatched;
            // A wait that fails (not a time-out) would fail again at once.
            if (WaitForSingleObject(stopEvent, kCheckPeriodMs) != WAIT_TIMEOUT) return Event::Stopped;
            continue;
        }
        const HANDLE events[] = {change_.get(), stopEvent};
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, kCheckPeriodMs);
        if (woken == WAIT_OBJECT_0 + 1) return Event::Stopped;
        if (woken != WAIT_OBJECT_0 && woken != WAIT_TIMEOUT) {
            // A failed wait: a pause, then the folder is watched anew.
            if (WaitForSingleObject(stopEvent, kCheckPeriodMs) != WAIT_TIMEOUT) return Event::Stopped;
            Drop();
            continue;
        }
        if (!StillTheWatchedFolder()) {
            Drop();
            continue;
        }
        if (woken == WAIT_OBJECT_0) {
            renewPending_ = true;
            return Event::Written;
        }
    }
}

}  // namespace sentrel
