// Settings documents as files: the export writes the serialised bytes, the
// import reads a file's bytes as text the way the document was always read.
#pragma once

#include "support/text.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// A settings file's bytes as text: 8-bit text in the system code page, each
// chunk of kSettingsTextChunkBytes up to its first NUL.
inline constexpr size_t kSettingsTextChunkBytes = 1023;
WideString SettingsTextOfBytes(std::string_view bytes);

// A settings file's text (as SettingsTextOfBytes). Empty when the file does
// not open; nothing when it is larger than a settings document can be.
std::optional<WideString> ReadSettingsFileText(const std::wstring& path);

// Writes `bytes` as the whole file, replacing one that is there. S_OK, or
// the failing call's error as an HRESULT.
HRESULT WriteSettingsFile(const std::wstring& path, std::string_view bytes);

}  // namespace sentrel
