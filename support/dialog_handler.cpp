#include "support/dialog_handler.h"

namespace qz_support {
namespace {

// The handler whose dialog this thread is creating: the only one a
// WM_INITDIALOG may bind. Any program can send WM_INITDIALOG to a dialog
// with a value of its choice in lParam; taken as the handler, it would leave
// the window unbound (zero) or point it at memory of the sender's choosing.
thread_local DialogHandler* handlerBeingCreated = nullptr;

class CreationScope {
public:
    explicit CreationScope(DialogHandler* handler) : previous_(handlerBeingCreated) { handlerBeingCreated = handler; }
    CreationScope(const CreationScope&) = delete;
    CreationScope& operator=(const CreationScope&) = delete;
    ~CreationScope() { handlerBeingCreated = previous_; }

private:
    DialogHandler* previous_;
};

}  // namespace

HWND DialogHandler::CreateModeless(HINSTANCE instance, int templateId, HWND owner) {
    const CreationScope creating(this);
    return CreateDialogParamA(instance, MAKEINTRESOURCEA(templateId), owner, Procedure,
                              reinterpret_cast<LPARAM>(this));
}

INT_PTR DialogHandler::RunModal(HINSTANCE instance, int templateId, HWND owner) {
    const CreationScope creating(this);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner, Procedure, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK DialogHandler::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    auto* handler = reinterpret_cast<DialogHandler*>(GetWindowLongPtrA(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        // A window already bound keeps its handler and ignores the message.
        if (handler) return FALSE;
        if (!handlerBeingCreated || lParam != reinterpret_cast<LPARAM>(handlerBeingCreated)) return FALSE;
        handler = handlerBeingCreated;
        handlerBeingCreated = nullptr;
        SetWindowLongPtrA(window, DWLP_USER, lParam);
    }
    if (!handler) return FALSE;
    const MessageOutcome outcome =
        GuardMessage(handler->unit_, handler->line_, handler->instance_, window, message, wParam, lParam,
                     [&] { return handler->HandleDialogMessage(window, message, wParam, lParam); });
    if (!outcome.handled) return FALSE;
    // WM_INITDIALOG answers with its result; every other message through
    // DWLP_MSGRESULT.
    if (message == WM_INITDIALOG) return outcome.result;
    SetWindowLongPtrA(window, DWLP_MSGRESULT, outcome.result);
    return TRUE;
}

}  // namespace qz_support
