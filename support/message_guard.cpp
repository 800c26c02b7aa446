#include "support/message_guard.h"

#include <commctrl.h>

namespace qz_support {
namespace {

bool IsSilentMessage(UINT message, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
    case WM_SETCURSOR:
    case WM_ICONERASEBKGND:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_NCHITTEST:
    case WM_NCPAINT:
    case WM_NCMOUSEMOVE:
    case WM_MOUSEMOVE:
        return true;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header) return false;
        const UINT code = header->code;
        return code == static_cast<UINT>(NM_CUSTOMDRAW) || code == static_cast<UINT>(NM_HOVER) ||
               code == static_cast<UINT>(NM_NCHITTEST) || code == static_cast<UINT>(NM_SETCURSOR);
    }
    default:
        return false;
    }
}

}  // namespace

MessageOutcome RecoverFromMessageError(HWND window, UINT message, WPARAM, LPARAM lParam, const _com_error& error) {
    MessageOutcome outcome;
    bool show = true;
    switch (message) {
    case WM_CREATE:
        DestroyWindow(window);
        outcome.handled = true;
        outcome.result = -1;
        break;
    case WM_INITDIALOG:
        EndDialog(window, 0);
        outcome.handled = true;
        break;
    case WM_PAINT:
        ValidateRect(window, nullptr);
        show = false;
        break;
    default:
        show = !IsSilentMessage(message, lParam);
        break;
    }
    if (show) ShowError(error, 30, true);
    SetErrorInfo(0, nullptr);
    return outcome;
}

}  // namespace qz_support
