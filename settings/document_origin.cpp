#include "settings/document_origin.h"

#include <functional>
#include <mutex>

namespace sentrel {
namespace {

// The text is kept as its hash and length: the note costs no copy of a
// document of megabytes.
struct Note {
    std::wstring origin;
    size_t hash = 0;
    size_t length = 0;
};

struct NotedOrigin {
    std::mutex lock;
    std::optional<Note> note;
};

NotedOrigin& Noted() {
    static NotedOrigin* noted = new NotedOrigin;  // released with the process
    return *noted;
}

}  // namespace

void NoteDocumentOrigin(std::wstring origin, const WideString& text) {
    Note note{std::move(origin), std::hash<WideString>{}(text), text.size()};
    NotedOrigin& noted = Noted();
    std::lock_guard<std::mutex> guard(noted.lock);
    noted.note = std::move(note);
}

std::optional<std::wstring> NotedOriginOf(const WideString& text) {
    const size_t hash = std::hash<WideString>{}(text);
    NotedOrigin& noted = Noted();
    std::lock_guard<std::mutex> guard(noted.lock);
    if (!noted.note || noted.note->length != text.size() || noted.note->hash != hash) return std::nullopt;
    return noted.note->origin;
}

}  // namespace sentrel
