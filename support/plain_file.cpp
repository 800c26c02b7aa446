#include "support/plain_file.h"

#include "support/unique_any.h"

namespace qz_support {

bool IsPlainFile(HANDLE file, uint64_t* size) noexcept {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) return false;
    if (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
    if (size) *size = (static_cast<uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    return true;
}

NameHolds WhatNameHolds(const wchar_t* path, uint64_t* size) noexcept {
    // Backup semantics open folders too, so that a folder is told apart from
    // a name that cannot be opened; the reparse flag opens a link itself.
    const UniqueFile opened(CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? NameHolds::Nothing : NameHolds::Other;
    }
    return IsPlainFile(opened.get(), size) ? NameHolds::PlainFile : NameHolds::Other;
}

}  // namespace qz_support
