// Self-registration of the controller as the local server of its class,
// with its AppID and its embedded type library.
#pragma once

#include <windows.h>

#include <string>

namespace sentrel {

// The AppID entries; their result is not reported by the program.
HRESULT RegisterAppId();
HRESULT UnregisterAppId();

// The class entries (the old CLSID key is removed first) and the type
// library taken from `programPath`. The program's exit code.
HRESULT RegisterClassAndTypeLibrary(const std::wstring& programPath);
HRESULT UnregisterClassAndTypeLibrary();

}  // namespace sentrel
