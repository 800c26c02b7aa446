// Where Lotus Notes keeps its settings file: the data folder under the
// user's local application data folder, and notes.ini in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// The paths are built for a buffer of this many characters, NUL included.
inline constexpr size_t kNotesPathCapacity = 260;

struct NotesPaths {
    std::string dataFolder;    // <local app data>\lotus\notes\data
    std::string settingsFile;  // <data folder>\notes.ini
};

// Nothing when the settings file's path would not fit the buffer.
std::optional<NotesPaths> NotesPathsUnder(std::string_view localAppData);

}  // namespace sentrel
