#include "controller/registration.h"

#include "controller/com_security.h"
#include "policy/controller_interface.h"
#include "support/com_ptr.h"
#include "support/registry.h"
#include "support/text.h"
#include "support/unique_any.h"

#include <oleauto.h>

#include <utility>
#include <vector>

namespace sentrel {
namespace {

namespace registry = qz_support::registry;

const std::string kAppIdKey = std::string("AppID\\") + kControllerAppIdText;
const char* const kAppIdExeKey = "AppID\\SentrelAgentController.EXE";
const std::string kClassKey = std::string("CLSID\\") + kControllerClsidText;
// The library is registered for its own locale (409). The system's
// type-library marshaller looks it up for the neutral locale, which does not
// fall back to 409, so the same file is registered there as well.
const std::string kNeutralLocaleKey = std::string("TypeLib\\") + kTypeLibraryIdText + "\\1.0\\0";
const std::string kOwnLocaleKey = std::string("TypeLib\\") + kTypeLibraryIdText + "\\1.0\\409";

// The browser's elevation policy for the controller's class: a Protected
// Mode tab starts the controller at medium integrity without asking.
const char* const kElevationPolicyKey =
    "SOFTWARE\\Microsoft\\Internet Explorer\\Low Rights\\ElevationPolicy\\"
    "{084851C7-5197-4A38-8D6A-8D6859D0A4F0}";
constexpr DWORD kSilentMediumIntegrity = 3;

// The registry views a browser of this machine reads: both on 64-bit
// Windows, where 32-bit and 64-bit browser processes run side by side.
#ifdef _WIN64
constexpr REGSAM kBrowserViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
#else
constexpr REGSAM kBrowserViews[] = {0};
#endif

HRESULT SetKeyValue(const std::string& path, const char* name, const std::string& value) {
    return HRESULT_FROM_WIN32(registry::CreateAndSetString(HKEY_CLASSES_ROOT, path.c_str(), name, value));
}

// File paths are written as wide text: a path with characters outside the
// system code page (and no short form to fall back on) stays usable.
HRESULT SetKeyPath(const std::string& path, const std::wstring& value) {
    const auto created = registry::CreateKey(HKEY_CLASSES_ROOT, path.c_str(), KEY_SET_VALUE);
    return HRESULT_FROM_WIN32(created ? registry::SetWideString(created.key.get(), nullptr, value) : created.status);
}

HRESULT SetKeyDescriptor(const std::string& path, const char* name, const wchar_t* sddl) {
    std::vector<BYTE> descriptor;
    if (const HRESULT hr = SelfRelativeDescriptor(sddl, descriptor); FAILED(hr)) return hr;
    const auto created = registry::CreateKey(HKEY_CLASSES_ROOT, path.c_str(), KEY_SET_VALUE);
    if (!created) return HRESULT_FROM_WIN32(created.status);
    return HRESULT_FROM_WIN32(
        registry::SetBinary(created.key.get(), name, descriptor.data(), static_cast<DWORD>(descriptor.size())));
}

// Removes the key with everything under it; a key that is already gone
// counts as removed.
HRESULT DeleteTree(const std::string& path) {
    return HRESULT_FROM_WIN32(registry::DeleteTree(HKEY_CLASSES_ROOT, path.c_str()));
}

HRESULT WriteElevationPolicy(REGSAM view, const std::wstring& programPath) {
    const auto created = registry::CreateKey(HKEY_LOCAL_MACHINE, kElevationPolicyKey, KEY_SET_VALUE | view);
    if (!created) return HRESULT_FROM_WIN32(created.status);
    const size_t separator = programPath.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? L"" : programPath.substr(0, separator);
    const std::wstring file = separator == std::wstring::npos ? programPath : programPath.substr(separator + 1);
    const std::wstring classId = ToWindowsWide(kControllerClsidText);
    for (const auto& [name, text] : {std::pair{L"AppName", &file}, {L"AppPath", &folder}, {L"CLSID", &classId}}) {
        if (const LSTATUS status = registry::SetWideString(created.key.get(), name, *text); status != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(status);
    }
    return HRESULT_FROM_WIN32(registry::SetDword(created.key.get(), "Policy", kSilentMediumIntegrity));
}

// An entry that is already gone counts as removed.
HRESULT DeleteElevationPolicy(REGSAM view) {
    return HRESULT_FROM_WIN32(registry::DeleteKey(HKEY_LOCAL_MACHINE, kElevationPolicyKey, view));
}

std::wstring ShortFormOf(const std::wstring& path) {
    wchar_t shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(shortPath, length) : path;
}

}  // namespace

HRESULT RegisterAppId() {
    HRESULT hr = SetKeyValue(kAppIdKey, nullptr, "SentrelAgentController");
    if (SUCCEEDED(hr)) hr = SetKeyDescriptor(kAppIdKey, "LaunchPermission", kLaunchPermissionSddl);
    if (SUCCEEDED(hr)) hr = SetKeyDescriptor(kAppIdKey, "AccessPermission", kAccessPermissionSddl);
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
    for (const REGSAM view : kBrowserViews) {
        if (SUCCEEDED(hr)) hr = WriteElevationPolicy(view, programPath);
    }
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
    HRESULT classResult = DeleteTree(kClassKey);
    for (const REGSAM view : kBrowserViews) {
        const HRESULT policyResult = DeleteElevationPolicy(view);
        if (SUCCEEDED(classResult)) classResult = policyResult;
    }
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
