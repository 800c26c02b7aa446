// A dialog's handler, bound to its window once, at the dialog's own
// creation, and run inside the message guard for every message after that.
// The binding lives in the process, never in the window, where other
// programs could change it.
#pragma once

#include "support/message_guard.h"

#include <windows.h>

namespace qz_support {

class DialogHandler {
public:
    DialogHandler(const DialogHandler&) = delete;
    DialogHandler& operator=(const DialogHandler&) = delete;

    // Creates the modeless dialog `templateId` with this handler; null when
    // it could not be created.
    HWND CreateModeless(HINSTANCE instance, int templateId, HWND owner);
    // Runs the modal dialog `templateId` with this handler; its result.
    INT_PTR RunModal(HINSTANCE instance, int templateId, HWND owner);

protected:
    // `unit` and `line` name the handler in the error texts of its guard.
    DialogHandler(const char* unit, int line, HINSTANCE instance) noexcept
        : unit_(unit), line_(line), instance_(instance) {}
    ~DialogHandler() = default;

    // One message of the bound window; unhandled messages go to the
    // dialog manager. WM_INITDIALOG comes once, from the creation.
    virtual MessageOutcome HandleDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    const char* unit_;
    int line_;
    HINSTANCE instance_;
};

}  // namespace qz_support
