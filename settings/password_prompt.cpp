#include "settings/password_prompt.h"

#include "resource_ids.h"
#include "support/dialog_handler.h"

#include <string>

namespace sentrel {
namespace {

constexpr int kTextLimit = 4096;

std::string EditText(HWND dialog, int id) {
    char text[kTextLimit] = {};
    GetDlgItemTextA(dialog, id, text, kTextLimit);
    return text;
}

// The prompt, with its copy of the password in the narrow form the edit holds.
class PasswordPrompt final : public qz_support::DialogHandler {
public:
    PasswordPrompt(HINSTANCE instance, std::string password)
        : DialogHandler("SentrelController", 27, instance), password_(std::move(password)) {}

private:
    qz_support::MessageOutcome HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) return {true, TRUE};
        if (message != WM_COMMAND) return {};
        switch (LOWORD(wParam)) {
        case IDC_PROMPT_PASSWORD:
            if (HIWORD(wParam) != EN_CHANGE) return {};
            EnableWindow(GetDlgItem(dialog, IDOK), EditText(dialog, IDC_PROMPT_PASSWORD) == password_);
            return {true, 0};
        case IDOK:
            // Enter reaches OK even while it is disabled, and another program
            // can enable the button and click it: the text is compared again,
            // and only an exact match ends with OK.
            if (EditText(dialog, IDC_PROMPT_PASSWORD) != password_) return {true, 0};
            EndDialog(dialog, IDOK);
            return {true, 0};
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return {true, 0};
        default:
            return {};
        }
    }

    std::string password_;
};

}  // namespace

bool ConfirmPassword(HINSTANCE instance, const WideString& password) {
    if (password.empty()) return true;
    PasswordPrompt prompt(instance, ToNarrow(password));
    return prompt.RunModal(instance, IDD_PASSWORD, GetActiveWindow()) == IDOK;
}

}  // namespace sentrel
