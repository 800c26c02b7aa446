#include "controller/registration.h"

#include "policy/controller_interface.h"
#include "support/com_ptr.h"
#include "support/text.h"
#include "support/unique_any.h"

#include <oleauto.h>

namespace sentrel {
namespace {

const std::string kAppIdKey = std::string("AppID\\") + kControllerAppIdText;
const char* const kAppIdExeKey = "AppID\\SentrelAgentController.EXE";
const std::string kClassKey = std::string("CLSID\\") + kControllerClsidText;
// The library is registered for its own locale (409). The system's
// type-library marshaller looks it up for the neutral locale, which does not
// fall back to 409, so the same file is registered there as well.
const std::string kNeutralLocaleKey = std::string("TypeLib\\") + kTypeLibraryIdText + "\\1.0\\0";
const std::string kOwnLocaleKey = std::string("TypeLib\\") + kTypeLibraryIdText + "\\1.0\\409";

HRESULT FromWin32(LONG status) {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status);
}

HRESULT SetKeyValue(const std::string& path, const char* name, const std::string& value) {
    qz_support::UniqueHkey key;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return FromWin32(status);
    status = RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    return FromWin32(status);
}

// File paths are written as wide text: a path with characters outside the
// system code page (and no short form to fall back on) stays usable.
HRESULT SetKeyPath(const std::string& path, const std::wstring& value) {
    qz_support::UniqueHkey key;
    LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return FromWin32(status);
    status = RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return FromWin32(status);
}

// Removes the key with everything under it; a key that is already gone
// counts as removed.
HRESULT DeleteTree(const std::string& path) {
    const LONG status = RegDeleteTreeA(HKEY_CLASSES_ROOT, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(status);
}

std::wstring ShortFormOf(const std::wstring& path) {
    wchar_t shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(shortPath, length) : path;
}

}  // namespace

HRESULT RegisterAppId() {
    HRESULT hr = SetKeyValue(kAppIdKey, nullptr, "SentrelAgentController");
    if (SUCCEEDED(hr)) hr = SetKeyValue(kAppIdExeKey, "AppID", kControllerAppIdText);
    return hr;
}

HRESULT UnregisterAppId() {
    const HRESULT first = DeleteTree(kAppIdKey);
    const HRESULT second = DeleteTree(kAppIdExeKey);
    return FAILED(first) ? first : second;
}

HRESULT RegisterClassAndTypeLibrary(const std::wstring& programPath) {
    HRESULT hr = DeleteTree(kClassKey);
    if (SUCCEEDED(hr)) hr = SetKeyValue(kClassKey, nullptr, "SentrelController Class");
    if (SUCCEEDED(hr)) hr = SetKeyValue(kClassKey, "AppID", kControllerAppIdText);
    if (SUCCEEDED(hr)) hr = SetKeyPath(kClassKey + "\\LocalServer32", ShortFormOf(programPath));
    if (SUCCEEDED(hr)) hr = SetKeyValue(kClassKey + "\\TypeLib", nullptr, kTypeLibraryIdText);
    if (FAILED(hr)) return hr;

    qz_support::ComPtr<ITypeLib> library;
    hr = LoadTypeLibEx(programPath.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    hr = RegisterTypeLib(library.get(), const_cast<wchar_t*>(programPath.c_str()), nullptr);
    if (FAILED(hr)) return hr;
    // Paths outside the code page: the library's own locale gets the path
    // again as wide text, whatever the system's registration stored. The
    // neutral locale, read by Wine's marshaller as 8-bit text, gets the
    // short form where the volume has one, which survives that reading.
    hr = SetKeyPath(kOwnLocaleKey + "\\" + kTypeLibraryPlatformKey, programPath);
    if (FAILED(hr)) return hr;
    return SetKeyPath(kNeutralLocaleKey + "\\" + kTypeLibraryPlatformKey, ShortFormOf(programPath));
}

HRESULT UnregisterClassAndTypeLibrary() {
    const HRESULT classResult = DeleteTree(kClassKey);
    DeleteTree(kNeutralLocaleKey);
    // Only a registered library is unregistered, so a second unregistration succeeds too.
    qz_support::UniqueBstr registeredPath;
    HRESULT libraryResult = S_OK;
    if (SUCCEEDED(QueryPathOfRegTypeLib(LIBID_SentrelAgentController, kTypeLibraryMajor, kTypeLibraryMinor,
                                        kTypeLibraryLocale, registeredPath.put()))) {
        libraryResult = UnRegisterTypeLib(LIBID_SentrelAgentController, kTypeLibraryMajor, kTypeLibraryMinor,
                                          kTypeLibraryLocale, kTypeLibrarySystemKind);
    }
    return FAILED(classResult) ? classResult : libraryResult;
}

}  // namespace sentrel
