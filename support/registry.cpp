#include "support/registry.h"

#include <cstring>

namespace qz_support::registry {
namespace {

ValueState StateOf(LSTATUS status) {
    if (status == ERROR_SUCCESS) return ValueState::Present;
    return status == ERROR_FILE_NOT_FOUND ? ValueState::Absent : ValueState::Unreadable;
}

LSTATUS GoneCountsAsDeleted(LSTATUS status) {
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace

OpenedKey OpenKey(HKEY root, const char* path, REGSAM access) {
    OpenedKey opened;
    HKEY key = nullptr;
    opened.status = RegOpenKeyExA(root, path, 0, access, &key);
    if (opened.status == ERROR_SUCCESS) opened.key.reset(key);
    return opened;
}

OpenedKey CreateKey(HKEY root, const char* path, REGSAM access) {
    OpenedKey created;
    HKEY key = nullptr;
    created.status = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
    if (created.status == ERROR_SUCCESS) created.key.reset(key);
    return created;
}

ValueDescription DescribeValue(HKEY key, const wchar_t* name) {
    ValueDescription description;
    description.state = StateOf(RegQueryValueExW(key, name, nullptr, &description.type, nullptr, &description.size));
    return description;
}

DwordValue ReadDword(HKEY key, const char* name) {
    DwordValue read;
    read.size = sizeof read.value;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &read.type, reinterpret_cast<BYTE*>(&read.value), &read.size);
    read.state = StateOf(status);
    if (read.state != ValueState::Present) read.value = 0;  // a larger value's buffer is undefined
    return read;
}

TextValue<std::string> ReadString(HKEY key, const char* name, DWORD maxBytes) {
    TextValue<std::string> read;
    std::string buffer(maxBytes, '\0');
    DWORD type = REG_NONE, size = maxBytes;
    read.state = StateOf(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size));
    if (read.state != ValueState::Present) return read;
    if (type != REG_SZ) {
        read.state = ValueState::Unreadable;
        return read;
    }
    buffer.resize(strnlen(buffer.data(), size));
    read.text = std::move(buffer);
    return read;
}

TextValue<std::u16string> ReadWideString(HKEY key, const wchar_t* name, DWORD maxBytes) {
    TextValue<std::u16string> read;
    const ValueDescription description = DescribeValue(key, name);
    read.state = description.state;
    if (read.state != ValueState::Present) return read;
    read.state = ValueState::Unreadable;
    if (description.type != REG_SZ || description.size > maxBytes) return read;
    std::u16string buffer(description.size / sizeof(char16_t) + 1, u'\0');
    DWORD type = REG_NONE, size = description.size;
    // A value that grew or changed its type since is not taken.
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return read;
    buffer.resize(size / sizeof(char16_t));
    buffer.resize(std::char_traits<char16_t>::length(buffer.c_str()));
    read.text = std::move(buffer);
    read.state = ValueState::Present;
    return read;
}

LSTATUS SetString(HKEY key, const char* name, std::string_view text) {
    const std::string terminated(text);
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(terminated.c_str()),
                          static_cast<DWORD>(terminated.size() + 1));
}

LSTATUS SetWideString(HKEY key, const wchar_t* name, std::wstring_view text, DWORD type) {
    const std::wstring terminated(text);
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(terminated.c_str()),
                          static_cast<DWORD>((terminated.size() + 1) * sizeof(wchar_t)));
}

LSTATUS SetDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LSTATUS SetBinary(HKEY key, const char* name, const BYTE* data, DWORD size) {
    return RegSetValueExA(key, name, 0, REG_BINARY, data, size);
}

LSTATUS CreateAndSetString(HKEY root, const char* path, const char* name, std::string_view text, REGSAM view) {
    const OpenedKey created = CreateKey(root, path, KEY_SET_VALUE | view);
    return created ? SetString(created.key.get(), name, text) : created.status;
}

LSTATUS DeleteKey(HKEY parent, const char* path, REGSAM view) {
    return GoneCountsAsDeleted(RegDeleteKeyExA(parent, path, view, 0));
}

LSTATUS DeleteTree(HKEY parent, const char* path) {
    return GoneCountsAsDeleted(RegDeleteTreeA(parent, path));
}

}  // namespace qz_support::registry
