// The settings dialog: the controller's window (dialog 202) in its role as
// the editor of the site list, the flags, the password and the error page,
// with export to and import from a settings file.
#pragma once

#include "settings/controller_settings.h"
#include "settings/password_encoding.h"

#include <windows.h>

#include <optional>
#include <string>

namespace sentrel {

// What the dialog needs of the controller that owns the window.
class SettingsDialogOwner {
public:
    virtual ControllerSettings& Settings() = 0;
    // Reads the stored settings anew (after an import).
    virtual void LoadSettings() = 0;
    // Fills the dialog and shows the tray icon again.
    virtual void FillSettingsDialog() = 0;

protected:
    ~SettingsDialogOwner() = default;
};

class SettingsDialog {
public:
    // The password boxes take no more characters than a password may have.
    static constexpr int kPasswordLimit = static_cast<int>(kMaxPasswordBytes);

    explicit SettingsDialog(SettingsDialogOwner& owner) : owner_(owner) {}

    // Binds the controls of `window` (at WM_INITDIALOG).
    void Bind(HWND window);

    // Loads the controls from the settings (without the tray icon).
    void Fill(const ControllerSettings& settings);

    // Copies the controls into `settings`.
    void ApplyTo(ControllerSettings& settings) const;

    // Shows the window with its commands granted: called only after the
    // password prompt let "Settings..." through. The grant lasts until the
    // window is next seen hidden.
    void ShowGranted();

    // Whether the dialog is shown with its commands granted: open for editing.
    bool Editing() const { return Granted(); }

    // Ends the grant when the window is hidden, however it was hidden; called
    // for every message of the window, so a window hidden and shown again
    // from outside comes back without the grant.
    void NoteVisibility();

    // The dialog's command handlers; nothing when the command is not one of
    // them. Without the grant every command is left unhandled: another
    // program can post them to the hidden window, or show it and click.
    std::optional<LRESULT> HandleCommand(WORD id, WORD code);

    // The file the user picks in the save or open dialog; nothing when cancelled.
    std::optional<std::wstring> AskForFile(bool forExport) const;

private:
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    bool Granted() const { return granted_ && IsWindowVisible(window_); }
    std::optional<LRESULT> RunCommand(WORD id, WORD code);
    std::string Text(int id) const;

    // OK and Export: the dialog's values are saved from a copy and take
    // effect only when the save did not fail.
    void SaveDialog(const std::optional<std::wstring>& fileName);

    void AddHostName();
    void RemoveSelectedHosts();
    void UpdatePasswordButtons();
    void Import();

    // What the password box shows for a password that is set.
    static constexpr const char* kPasswordStandIn = "********";

    SettingsDialogOwner& owner_;
    HWND window_ = nullptr;
    bool granted_ = false;
    bool passwordEdited_ = false;  // since the dialog was last filled
};

}  // namespace sentrel
