// ISentrelController and the identities of the controller's COM class and
// type library, as both deliverables see them.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "SentrelAgentController_h.h"

namespace sentrel {

inline constexpr const char* kControllerClsidText = "{EE71CF2C-D934-4D16-A641-C5C6F80DDE57}";
inline constexpr const char* kControllerAppIdText = "{0438AB9B-DE90-4528-9438-DA3279114CEE}";
inline constexpr const char* kTypeLibraryIdText = "{AAC2174E-DAB4-475C-9E63-19AF9497F122}";
inline constexpr WORD kTypeLibraryMajor = 1;
inline constexpr WORD kTypeLibraryMinor = 0;
inline constexpr LCID kTypeLibraryLocale = 0x0409;
// The named event a running controller holds open from the registration of
// its class object until its message loop ends. It carries no signal.
inline constexpr const char* kInstanceMarkerName = "SNTRLRUN";
// The product is 32-bit; a 64-bit build (tests on 64-bit-only machines)
// carries and registers its library for 64-bit Windows.
#ifdef _WIN64
inline constexpr SYSKIND kTypeLibrarySystemKind = SYS_WIN64;
inline constexpr const char* kTypeLibraryPlatformKey = "win64";
#else
inline constexpr SYSKIND kTypeLibrarySystemKind = SYS_WIN32;
inline constexpr const char* kTypeLibraryPlatformKey = "win32";
#endif

}  // namespace sentrel
