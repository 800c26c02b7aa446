#include "settings/controller_marks.h"

namespace sentrel {
namespace {

constexpr const char* kLockHeldProperty = "Sentrel Lock Held";
constexpr const char* kLastPassProperty = "Sentrel Last Pass";

// A property holds a handle-sized number; 0 reads as absent.
void SetNumber(HWND window, const char* name, UINT_PTR number) {
    if (!window) return;
    if (number == 0) {
        RemovePropA(window, name);
    } else {
        SetPropA(window, name, reinterpret_cast<HANDLE>(number));
    }
}

UINT_PTR Number(HWND window, const char* name) {
    return window ? reinterpret_cast<UINT_PTR>(GetPropA(window, name)) : 0;
}

}  // namespace

void MarkLockHeld(HWND window, bool held) { SetNumber(window, kLockHeldProperty, held ? 1 : 0); }

bool LockHeldMark(HWND window) { return Number(window, kLockHeldProperty) == 1; }

void MarkLastPass(HWND window, LastPassMark pass) {
    SetNumber(window, kLastPassProperty, static_cast<UINT_PTR>(pass));
}

LastPassMark LastPassMarkOf(HWND window) {
    const UINT_PTR number = Number(window, kLastPassProperty);
    if (number > static_cast<UINT_PTR>(LastPassMark::DriveLetterRefused)) return LastPassMark::None;
    return static_cast<LastPassMark>(number);
}

void ClearControllerMarks(HWND window) {
    MarkLockHeld(window, false);
    MarkLastPass(window, LastPassMark::None);
}

}  // namespace sentrel
