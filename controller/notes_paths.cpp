#include "controller/notes_paths.h"

namespace sentrel {

std::optional<NotesPaths> NotesPathsUnder(std::string_view localAppData) {
    NotesPaths paths;
    paths.dataFolder = std::string(localAppData) + "\\lotus\\notes\\data";
    paths.settingsFile = paths.dataFolder + "\\notes.ini";
    if (paths.settingsFile.size() + 1 > kNotesPathCapacity) return std::nullopt;
    return paths;
}

}  // namespace sentrel
