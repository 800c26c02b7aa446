// Registry access on the owners of support/unique_any.h: keys opened or
// created into an owner together with the status that kept them shut, values
// read with an absent value told apart from an unreadable one, values
// written, keys deleted. Nothing here throws. A registry view
// (KEY_WOW64_32KEY, KEY_WOW64_64KEY) is part of the access asked for.
#pragma once

#include "support/unique_any.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace qz_support::registry {

// A key that opened or was created, or the status that says why not. The
// owner is empty unless the status is ERROR_SUCCESS.
struct OpenedKey {
    UniqueHkey key;
    LSTATUS status = ERROR_INVALID_HANDLE;

    explicit operator bool() const { return status == ERROR_SUCCESS; }
};

OpenedKey OpenKey(HKEY root, const char* path, REGSAM access);
// Opens the key, first creating it and any missing key above it
// (non-volatile, default security).
OpenedKey CreateKey(HKEY root, const char* path, REGSAM access);

// How reading a value went. Absent: the value (or its key) is not there,
// ERROR_FILE_NOT_FOUND. Unreadable: any other failure, or a value that the
// reader does not take (another type, too large).
enum class ValueState { Absent, Unreadable, Present };

// A value's type and size, its data left unread. The wide query reports a
// string's true size (a narrow one may report more than the narrow text).
struct ValueDescription {
    ValueState state = ValueState::Absent;
    DWORD type = REG_NONE;
    DWORD size = 0;
};
ValueDescription DescribeValue(HKEY key, const wchar_t* name);

// A value read into a DWORD, whatever its type: Present when it holds at
// most four bytes, which `value` then holds (the rest zero). What else a
// reader demands (REG_DWORD, exactly four bytes) is the reader's to check.
struct DwordValue {
    ValueState state = ValueState::Absent;
    DWORD type = REG_NONE;
    DWORD size = 0;
    DWORD value = 0;

    // A REG_DWORD of exactly four bytes.
    bool IsDword() const { return state == ValueState::Present && type == REG_DWORD && size == sizeof value; }
};
DwordValue ReadDword(HKEY key, const char* name);

// A REG_SZ value's text up to its first NUL (all of it when it has none),
// Present only when the value is REG_SZ and holds at most `maxBytes` bytes.
template <typename Text>
struct TextValue {
    ValueState state = ValueState::Absent;
    Text text;  // when Present
};
// Narrow text, read in one call into a buffer of `maxBytes`.
TextValue<std::string> ReadString(HKEY key, const char* name, DWORD maxBytes);
// Wide text (UTF-16): the size is asked first and a value over the limit is never
// read, so a large limit costs a small value nothing.
TextValue<std::u16string> ReadWideString(HKEY key, const wchar_t* name, DWORD maxBytes);

// Writers: REG_SZ with its terminating NUL (a wide string may be
// REG_EXPAND_SZ instead), REG_DWORD, REG_BINARY. A null name is the key's
// default value.
LSTATUS SetString(HKEY key, const char* name, std::string_view text);
LSTATUS SetWideString(HKEY key, const wchar_t* name, std::wstring_view text, DWORD type = REG_SZ);
LSTATUS SetDword(HKEY key, const char* name, DWORD value);
LSTATUS SetBinary(HKEY key, const char* name, const BYTE* data, DWORD size);
// Creates the key (asking only to set values, in `view`) and sets the text.
LSTATUS CreateAndSetString(HKEY root, const char* path, const char* name, std::string_view text, REGSAM view = 0);

// Delete `path` below `parent`: the key alone (it must have no subkeys), or
// the key with everything under it. A key that is not there counts as
// deleted: ERROR_SUCCESS.
LSTATUS DeleteKey(HKEY parent, const char* path, REGSAM view = 0);
LSTATUS DeleteTree(HKEY parent, const char* path);

}  // namespace qz_support::registry
