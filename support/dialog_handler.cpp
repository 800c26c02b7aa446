#include "support/dialog_handler.h"

#include <vector>

namespace qz_support {
namespace {

// The handler whose dialog this thread is creating: the only one a
// WM_INITDIALOG may bind. Any program can send WM_INITDIALOG to a dialog
// with a value of its choice in lParam; taken as the handler, it would leave
// the window unbound (zero) or point it at memory of the sender's choosing.
thread_local DialogHandler* handlerBeingCreated = nullptr;

// The dialogs of this thread and their handlers. Kept here, not in the
// window's DWLP_USER, which another program can overwrite with
// SetWindowLongPtr. A thread has a dialog or two, so a search is enough.
struct Binding {
    HWND window;
    DialogHandler* handler;
};
thread_local std::vector<Binding> bindings;

DialogHandler* BoundHandler(HWND window) {
    for (const Binding& binding : bindings) {
        if (binding.window == window) return binding.handler;
    }
    return nullptr;
}

void Unbind(HWND window) {
    std::erase_if(bindings, [window](const Binding& binding) { return binding.window == window; });
}

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
    DialogHandler* handler = BoundHandler(window);
    if (message == WM_INITDIALOG) {
        // A window already bound keeps its handler and ignores the message.
        if (handler) return FALSE;
        if (!handlerBeingCreated || lParam != reinterpret_cast<LPARAM>(handlerBeingCreated)) return FALSE;
        handler = handlerBeingCreated;
        handlerBeingCreated = nullptr;
        try {
            bindings.push_back({window, handler});
        } catch (...) {
            return FALSE;  // no memory: the dialog stays unbound
        }
    }
    if (!handler) return FALSE;
    const MessageOutcome outcome =
        GuardMessage(handler->unit_, handler->line_, handler->instance_, window, message, wParam, lParam,
                     [&] { return handler->HandleDialogMessage(window, message, wParam, lParam); });
    // The window's last message: a later window may get the same handle.
    if (message == WM_NCDESTROY) Unbind(window);
    if (!outcome.handled) return FALSE;
    // WM_INITDIALOG answers with its result; every other message through
    // DWLP_MSGRESULT.
    if (message == WM_INITDIALOG) return outcome.result;
    SetWindowLongPtrA(window, DWLP_MSGRESULT, outcome.result);
    return TRUE;
}

}  // namespace qz_support
