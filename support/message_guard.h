// The entry-point guard of window message handlers and what happens when a
// COM error leaves one.
#pragma once

#include "support/entry_points.h"

#include <windows.h>
#include <comdef.h>

namespace qz_support {

struct MessageOutcome {
    bool handled = false;
    LRESULT result = 0;
};

// Recovery by message: WM_CREATE destroys the window and WM_INITDIALOG ends
// the dialog with 0 (both handled, then shown); painting validates the window
// and the painting, cursor and mouse-tracking messages drop the error unshown;
// every other message shows it, unhandled. The thread's error information is
// cleared in every case.
MessageOutcome RecoverFromMessageError(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       const _com_error& error);

// Runs `handler` (returning MessageOutcome) inside a CMessageEntryPoint. A
// COM error is recovered as above; any other exception is first reported
// (ReportCurrentException) and then recovered as the HRESULT reported.
template <typename Handler>
MessageOutcome GuardMessage(const char* unit, int line, HINSTANCE instance, HWND window, UINT message,
                            WPARAM wParam, LPARAM lParam, Handler&& handler) noexcept {
    try {
        CMessageEntryPoint guard(unit, line, instance, message);
        try {
            return handler();
        } catch (const _com_error& error) {
            return RecoverFromMessageError(window, message, wParam, lParam, error);
        } catch (...) {
            const long error = ReportCurrentException();
            return RecoverFromMessageError(window, message, wParam, lParam, _com_error(error));
        }
    } catch (...) {
        return {};
    }
}

// The outermost guard of a window procedure that hands every message of its
// window on to another procedure: whatever leaves `forward` (returning
// LRESULT) is reported with ReportError (a COM error's HRESULT, E_UNEXPECTED
// for anything else), naming `unit` and `line`, and the message's result is
// `failed`. It records no frame on the way through, so it costs nothing on
// procedures that see every mouse move; the handlers it calls have guards
// of their own.
template <typename Forward>
LRESULT GuardWindowProcedure(const char* unit, int line, HINSTANCE instance, LRESULT failed,
                             Forward&& forward) noexcept {
    HRESULT reported;
    try {
        return forward();
    } catch (const _com_error& error) {
        reported = error.Error();
    } catch (...) {
        reported = E_UNEXPECTED;
    }
    try {
        CCallStackEntry where(unit, line, instance);
        ReportError(reported);
    } catch (...) {
    }
    SetErrorInfo(0, nullptr);
    return failed;
}

}  // namespace qz_support
