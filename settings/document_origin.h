// Where the settings document that the next load reads came from, for the
// record of that load: an import notes its origin (a source, a file) beside
// the text it stored, and a load of that same text names the origin rather
// than the key it read. Any other text (one written to the key since by
// someone else) is named by its key. Shared by the sync worker's thread and
// the main thread.
#pragma once

#include "support/text.h"

#include <optional>
#include <string>

namespace sentrel {

// Notes `origin` for `text`, the document as the next load reads it; the
// note replaces the one before.
void NoteDocumentOrigin(std::wstring origin, const WideString& text);

// The noted origin when `text` is the noted text; nothing otherwise.
std::optional<std::wstring> NotedOriginOf(const WideString& text);

}  // namespace sentrel
