// The controller object: the one COM object of the process, its window (a
// hidden modeless dialog that owns the tray icon and is also the settings
// dialog) and its settings record.
#pragma once

#include "controller/server_module.h"
#include "policy/controller_interface.h"
#include "settings/controller_settings.h"
#include "settings/settings_dialog.h"
#include "support/background_thread.h"
#include "support/com_object.h"
#include "support/dialog_handler.h"
#include "support/modal_gate.h"
#include "support/unique_any.h"

#include <optional>

namespace sentrel {

// Posted to the window at start when the stored settings cannot be used.
inline constexpr UINT kShowUnusableSettingsMessage = WM_USER + 2;
inline constexpr const char* kUnusableSettingsText =
    "Sentrel cannot use its stored settings. Every site is refused and the lock cannot be switched off until "
    "settings that can be read are stored or fetched.";

// References are module locks; the object lives as long as the process.
class SentrelController final
    : public qz_support::ComObject<qz_support::EachReferenceLocksModule<ServerModule&>, ISentrelController>,
      private SettingsDialogOwner,
      private qz_support::DialogHandler {
public:
    explicit SentrelController(ServerModule& module);
    ~SentrelController();

    // Loads the settings, creates the window and starts the helpers. Always
    // succeeds and never raises: a step that fails or raises is reported and
    // left out (the settings then stay at their construction values), the
    // others run.
    HRESULT FinalConstruct() noexcept;

    // ISentrelController: none can raise (the decision refuses on any
    // failure inside it), so they need no guard frame.
    STDMETHODIMP IsURLOK(BSTR url) noexcept override;
    STDMETHODIMP Show() noexcept override;
    STDMETHODIMP AllowPopup() noexcept override;
    STDMETHODIMP GetErrorPage(BSTR* newVal) noexcept override;

private:
    qz_support::MessageOutcome HandleDialogMessage(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) override;

    // Loads the stored settings; a document that sets `active` also picks the
    // image. While the lock is held, only a document that applies changes
    // anything, and it ends the hold.
    void LoadSettings() override;
    // Holds the lock: every address refused but the error page's (when the
    // stored document names one that can be read) and what is always
    // allowed, popups blocked, and no password that can be confirmed, so the
    // lock switch, "Settings..." and Exit do nothing and nothing is saved.
    void HoldLocked();
    void ChooseImage();
    // "ReloadSettings" and the menu's reload: the settings loaded anew, and
    // an open settings dialog shows them, so that its OK cannot store the
    // older values over what was just loaded.
    void ReloadSettings();

    // SettingsDialogOwner.
    ControllerSettings& Settings() override { return settings_; }
    void FillSettingsDialog() override;

    // The tray: the callback's mouse messages, the menu and its commands.
    void OnTrayCallback(UINT mouseMessage);
    void ShowTrayMenu();
    // A command that may run a modal window is dropped while another one runs.
    std::optional<LRESULT> OnCommand(WORD id, WORD code);
    std::optional<LRESULT> RunCommand(WORD id, WORD code);
    void ToggleLock();
    void Exit();
    void OpenSettings();
    bool ConfirmPassword();

    ServerModule& module_;
    UINT reloadSettingsMessage_;
    UINT taskbarCreatedMessage_;

    HWND window_ = nullptr;
    qz_support::UniqueHicon lockedImage_;
    qz_support::UniqueHicon unlockedImage_;
    HICON currentImage_ = nullptr;
    ControllerSettings settings_;
    SettingsDialog dialog_{*this};
    bool iconShown_ = false;
    bool lockHeld_ = false;  // see HoldLocked
    // Held while a command or a tray click runs a modal window (the prompt,
    // a message box, a file dialog, the menu): others asked for meanwhile
    // are dropped.
    qz_support::ModalGate modalGate_;

    // The helpers: they share nothing with this object but the window handle.
    qz_support::BackgroundThread notesProtection_;
    qz_support::BackgroundThread syncWorker_;
    qz_support::BackgroundThread registryWatcher_;
};

}  // namespace sentrel
