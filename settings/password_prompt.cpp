#include "settings/password_prompt.h"

#include "resource_ids.h"
#include "support/dialog_handler.h"

#include <optional>
#include <string>
#include <utility>

namespace sentrel {
namespace {

constexpr int kTextLimit = 4096;

std::string EditText(HWND dialog, int id) {
    char text[kTextLimit] = {};
    GetDlgItemTextA(dialog, id, text, kTextLimit);
    return text;
}

// The prompt, with its copy of the password.
class PasswordPrompt final : public qz_support::DialogHandler {
public:
    PasswordPrompt(HINSTANCE instance, SettingsPassword password)
        : DialogHandler("SentrelController", 27, instance), password_(std::move(password)) {}

private:
    qz_support::MessageOutcome HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) return {true, TRUE};
        if (message != WM_COMMAND) return {};
        switch (LOWORD(wParam)) {
        case IDC_PROMPT_PASSWORD:
            if (HIWORD(wParam) != EN_CHANGE) return {};
            EnableWindow(GetDlgItem(dialog, IDOK), Accepts(EditText(dialog, IDC_PROMPT_PASSWORD)));
            return {true, 0};
        case IDOK:
            // Enter reaches OK even while it is disabled, and another program
            // can enable the button and click it: the text is compared again,
            // and only an exact match ends with OK.
            if (!Accepts(EditText(dialog, IDC_PROMPT_PASSWORD))) return {true, 0};
            EndDialog(dialog, IDOK);
            return {true, 0};
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return {true, 0};
        default:
            return {};
        }
    }

    // A check of a hashed password takes tens of milliseconds: the answer
    // for the text last checked is kept, so that change notifications
    // repeated (or sent by another program) for the same text cost nothing.
    bool Accepts(const std::string& typed) {
        if (!lastChecked_ || lastChecked_->first != typed) lastChecked_.emplace(typed, password_.Accepts(typed));
        return lastChecked_->second;
    }

    SettingsPassword password_;
    std::optional<std::pair<std::string, bool>> lastChecked_;
};

}  // namespace

bool ConfirmPassword(HINSTANCE instance, const SettingsPassword& password) {
    if (password.Empty()) return true;
    PasswordPrompt prompt(instance, password);
    return prompt.RunModal(instance, IDD_PASSWORD, GetActiveWindow()) == IDOK;
}

}  // namespace sentrel
