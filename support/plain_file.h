// Files seen as they are, never through a link: a name that is a symbolic
// link, a junction or another reparse point, or a folder, is no plain file,
// whatever it points at. Users can make folders (and so junctions) at the
// root of C:, where the agent's log lives.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qz_support {

// Whether the open `file` is an ordinary file (no folder, no reparse point);
// its size in `size` when it is.
bool IsPlainFile(HANDLE file, uint64_t* size = nullptr) noexcept;

enum class NameHolds {
    Nothing,    // no such name
    PlainFile,  // an ordinary file
    Other,      // a folder, a link, a reparse point, or what cannot be looked at
};

// What `path` names, opened without following it; the file's size in `size`
// for a plain file.
NameHolds WhatNameHolds(const wchar_t* path, uint64_t* size = nullptr) noexcept;

}  // namespace qz_support
