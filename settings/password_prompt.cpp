#include "settings/password_prompt.h"

#include "resource_ids.h"
#include "support/message_guard.h"

#include <string>

namespace sentrel {
namespace {

constexpr int kTextLimit = 4096;

// The prompt's state: its copy of the password, in the narrow form the
// edit holds.
struct PasswordPrompt {
    HINSTANCE instance;
    std::string password;
};

std::string EditText(HWND dialog, int id) {
    char text[kTextLimit] = {};
    GetDlgItemTextA(dialog, id, text, kTextLimit);
    return text;
}

qz_support::MessageOutcome HandlePromptMessage(HWND dialog, const PasswordPrompt& prompt, UINT message,
                                               WPARAM wParam) {
    if (message == WM_INITDIALOG) return {true, TRUE};
    if (message != WM_COMMAND) return {};
    switch (LOWORD(wParam)) {
    case IDC_PROMPT_PASSWORD:
        if (HIWORD(wParam) != EN_CHANGE) return {};
        EnableWindow(GetDlgItem(dialog, IDOK), EditText(dialog, IDC_PROMPT_PASSWORD) == prompt.password);
        return {true, 0};
    case IDOK:
        // Enter reaches OK even while it is disabled, and another program can
        // enable the button and click it: the text is compared again, and
        // only an exact match ends with OK.
        if (EditText(dialog, IDC_PROMPT_PASSWORD) != prompt.password) return {true, 0};
        EndDialog(dialog, IDOK);
        return {true, 0};
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return {true, 0};
    default:
        return {};
    }
}

INT_PTR CALLBACK PromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    const auto* prompt = reinterpret_cast<const PasswordPrompt*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!prompt) return FALSE;
    const qz_support::MessageOutcome outcome = qz_support::GuardMessage(
        "SentrelController", 27, prompt->instance, dialog, message, wParam, lParam,
        [&] { return HandlePromptMessage(dialog, *prompt, message, wParam); });
    if (!outcome.handled) return FALSE;
    if (message == WM_INITDIALOG) return outcome.result;
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, outcome.result);
    return TRUE;
}

}  // namespace

bool ConfirmPassword(HINSTANCE instance, const WideString& password) {
    if (password.empty()) return true;
    PasswordPrompt prompt{instance, ToNarrow(password)};
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PASSWORD), GetActiveWindow(), PromptProc,
                           reinterpret_cast<LPARAM>(&prompt)) == IDOK;
}

}  // namespace sentrel
