#include "settings/settings_file_text.h"

#include "settings/settings_limits.h"
#include "support/unique_any.h"

namespace sentrel {

// Read in chunks of at most kSettingsTextChunkBytes, each taken up to its
// first NUL byte, then converted from the system code page at once. A file
// larger than a settings document can be is not read.
std::optional<WideString> ReadSettingsFileText(const std::wstring& path) {
    qz_support::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return WideString();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxSettingsTextBytes))
        return std::nullopt;
    std::string bytes;
    char chunk[kSettingsTextChunkBytes];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) bytes.append(chunk, read);
    return SettingsTextOfBytes(bytes);
}

WideString SettingsTextOfBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size(); at += kSettingsTextChunkBytes) {
        const std::string_view chunk = bytes.substr(at, kSettingsTextChunkBytes);
        text += chunk.substr(0, chunk.find('\0'));
    }
    return ToWide(text);
}

HRESULT WriteSettingsFile(const std::wstring& path, std::string_view bytes) {
    qz_support::UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HRESULT_FROM_WIN32(GetLastError());
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    return written == bytes.size() ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
}

}  // namespace sentrel
