#include "controller/sentrel_controller.h"

#include "controller/agent_policy.h"
#include "controller/browser_lock.h"
#include "controller/controller_records.h"
#include "controller/notes_protection.h"
#include "controller/tray_icon.h"
#include "policy/access_decision.h"
#include "resource_ids.h"
#include "settings/controller_marks.h"
#include "settings/password_prompt.h"
#include "settings/registry_store.h"
#include "settings/settings_records.h"
#include "settings/settings_store.h"
#include "support/com_error.h"
#include "settings/settings_sync.h"
#include "support/machine_policy.h"

#include <optional>

namespace sentrel {
namespace {

HICON LoadPadlock(HINSTANCE instance, int id) {
    return static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, 64, 64, LR_DEFAULTSIZE));
}


}  // namespace

SentrelController::SentrelController(ServerModule& module)
    : ComObject(module),
      DialogHandler("SentrelController", 78, module.Instance()),
      module_(module),
      reloadSettingsMessage_(RegisterWindowMessageA("ReloadSettings")),
      taskbarCreatedMessage_(RegisterWindowMessageA("TaskbarCreated")),
      lockedImage_(LoadPadlock(module.Instance(), IDI_LOCKED)),
      unlockedImage_(LoadPadlock(module.Instance(), IDI_UNLOCKED)) {
    module_.SetControllerWindow(&window_);
    WriteAgentPolicy();
    if (NotesProtectionConfigured()) notesProtection_.Start(ProtectNotes);
}

SentrelController::~SentrelController() {
    // The worker may be waiting for the window to take new settings: the
    // window stays until the helpers have stopped.
    syncWorker_.Stop();
    registryWatcher_.Stop();
    notesProtection_.Stop();
    module_.SetControllerWindow(nullptr);
    if (window_) {
        ClearControllerMarks(window_);
        DestroyWindow(window_);
    }
}

// Each step of the start runs guarded: a step that raises (no DOM library,
// no memory) is reported and left out, and the others still run.
HRESULT SentrelController::FinalConstruct() noexcept {
    using qz_support::RunGuarded;
    RecordMachinePolicies();
    RunGuarded(__FILE__, __LINE__, [this] { settings_.sourceConfigured = !ReadSettingsSource().empty(); });
    bool activeLoaded = false;
    SettingsLoadDetail detail;
    const SettingsLoad load = LoadStoredSettings(settings_, &activeLoaded, &detail);
    // A document that is there but cannot be used would otherwise leave
    // the start values (no lock, no password), and the next save would store
    // them over it: the controller holds the lock instead. So it does where
    // only the machine's settings count and the first one is still to come.
    const bool awaitingMachineSettings = load == SettingsLoad::NoDocument && settings_.sourceConfigured &&
                                         MachinePolicyOn(kMachineSettingsOnlyPolicy);
    if ((load == SettingsLoad::Unusable || awaitingMachineSettings) &&
        !RunGuarded(__FILE__, __LINE__, [this] { HoldLocked(); })) {
        // No memory for the held record: the start values, locked, with
        // their empty allow list refuse every address just the same.
        settings_.active = true;
        settings_.reverseOperation = false;
        lockHeld_ = true;
    }
    RunGuarded(__FILE__, __LINE__, [&] {
        if (load == SettingsLoad::Applied) RecordSettingsApplied(detail.from, settings_);
        if (load == SettingsLoad::Unusable) RecordSettingsUnusable(detail.from, detail.problem);
        if (awaitingMachineSettings) RecordAwaitingMachineSettings(detail.from, SourceInRecords(ReadSettingsSource()));
    });
    RecordLockState(settings_.active, LockChange::Start);
    RunGuarded(__FILE__, __LINE__, [this] {
        ChooseImage();
        window_ = CreateModeless(module_.Instance(), IDD_SETTINGS, nullptr);
    });
    MarkLockHeld(window_, lockHeld_);
    if (load == SettingsLoad::Unusable) PostMessageA(window_, kShowUnusableSettingsMessage, 0, 0);
    syncWorker_.Start([window = window_](HANDLE stop) { SyncWorker(window, stop); });
    RunGuarded(__FILE__, __LINE__, [] { EnforceBrowserLock(); });
    registryWatcher_.Start(WatchBrowserConfiguration);
    return S_OK;
}

void SentrelController::LoadSettings() {
    const bool wasActive = settings_.active;
    bool activeLoaded = false;
    SettingsLoadDetail detail;
    if (!lockHeld_) {
        bool applied = false;
        try {
            applied = sentrel::LoadSettings(settings_, &activeLoaded, &detail);
        } catch (...) {
            // The message's guard shows the error; the record says which document.
            if (!detail.problem.empty()) RecordDocumentRefused(detail.from, detail.problem);
            throw;
        }
        if (applied) {
            RecordSettingsApplied(detail.from, settings_);
        } else if (!detail.problem.empty()) {
            RecordDocumentRefused(detail.from, detail.problem);
        }
        if (activeLoaded) ChooseImage();
        if (settings_.active != wasActive) RecordLockState(settings_.active, LockChange::Reload);
        return;
    }
    // The held lock ends with the first document that applies, which then
    // counts as it would have at the start.
    ControllerSettings loaded;
    loaded.sourceConfigured = settings_.sourceConfigured;
    loaded.recentRefused = settings_.recentRefused;
    const SettingsLoad load = LoadStoredSettings(loaded, &activeLoaded, &detail);
    if (load != SettingsLoad::Applied) {
        if (load == SettingsLoad::Unusable) RecordDocumentRefused(detail.from, detail.problem);
        return;
    }
    settings_ = std::move(loaded);
    lockHeld_ = false;
    MarkLockHeld(window_, false);
    ChooseImage();
    RecordSettingsApplied(detail.from, settings_);
    if (settings_.active != wasActive) RecordLockState(settings_.active, LockChange::Reload);
}

void SentrelController::HoldLocked() {
    ControllerSettings locked;
    locked.active = true;
    locked.errorPage = ErrorPageOfStoredDocument();
    locked.sourceConfigured = settings_.sourceConfigured;
    settings_ = std::move(locked);
    lockHeld_ = true;
}

void SentrelController::ReloadSettings() {
    LoadSettings();
    if (dialog_.Editing()) dialog_.Fill(settings_);
}

void SentrelController::ChooseImage() {
    currentImage_ = settings_.active ? lockedImage_.get() : unlockedImage_.get();
}

STDMETHODIMP SentrelController::IsURLOK(BSTR url) noexcept {
    std::optional<WideView> address;
    if (url) address = AsWideView(std::wstring_view(url, SysStringLen(url)));
    return sentrel::IsURLOK(settings_, address);
}

STDMETHODIMP SentrelController::Show() noexcept {
    PostMessageA(window_, kShowMessage, 0, 0);
    return S_OK;
}

STDMETHODIMP SentrelController::AllowPopup() noexcept {
    return settings_.active && settings_.blockPopups ? S_FALSE : S_OK;
}

STDMETHODIMP SentrelController::GetErrorPage(BSTR* newVal) noexcept {
    if (!newVal) return E_POINTER;
    *newVal = nullptr;
    if (settings_.errorPage.empty()) return S_OK;
    *newVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(settings_.errorPage.data()),
                                static_cast<UINT>(settings_.errorPage.size()));
    return *newVal ? S_OK : E_OUTOFMEMORY;
}

qz_support::MessageOutcome SentrelController::HandleDialogMessage(HWND window, UINT message, WPARAM wParam,
                                                                  LPARAM lParam) {
    using qz_support::MessageOutcome;
    if (message == WM_INITDIALOG) window_ = window;
    dialog_.NoteVisibility();
    switch (message) {
    case WM_INITDIALOG:
        dialog_.Bind(window_);
        SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(currentImage_));
        return MessageOutcome{true, TRUE};
    case WM_CLOSE:
        ShowWindow(window_, SW_HIDE);
        return MessageOutcome{true, 0};
    case kTrayCallbackMessage:
        OnTrayCallback(static_cast<UINT>(lParam));
        return MessageOutcome{true, 1};
    case kShowUnusableSettingsMessage:
        if (lockHeld_) {
            if (const auto pass = modalGate_.TryEnter())
                MessageBoxA(GetActiveWindow(), kUnusableSettingsText, "Sentrel", MB_OK | MB_ICONERROR);
        }
        return MessageOutcome{true, 0};
    case kShowMessage:
        if (!iconShown_) {
            iconShown_ = true;
            AddTrayIcon(window_, currentImage_);
        }
        return MessageOutcome{true, 0};
    default:
        break;
    }
    if (message == reloadSettingsMessage_) {
        ReloadSettings();
        return MessageOutcome{true, 0};
    }
    if (message == taskbarCreatedMessage_) {
        AddTrayIcon(window_, currentImage_);
        return MessageOutcome{true, 0};
    }
    if (message == WM_COMMAND) {
        if (const std::optional<LRESULT> result = OnCommand(LOWORD(wParam), HIWORD(wParam)))
            return MessageOutcome{true, *result};
    }
    return MessageOutcome{};
}

namespace {

// The commands that may run a modal window: the password prompt, the reload's
// failure box, a file dialog, or an error box when a save fails.
bool MayRunModalWindow(WORD id) {
    switch (id) {
    case ID_LOCK:
    case ID_RELOAD:
    case ID_SETTINGS:
    case ID_EXIT:
    case IDOK:
    case IDC_EXPORT:
    case IDC_IMPORT:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::optional<LRESULT> SentrelController::OnCommand(WORD id, WORD code) {
    if (!MayRunModalWindow(id)) return RunCommand(id, code);
    const auto pass = modalGate_.TryEnter();
    if (!pass) return 0;
    return RunCommand(id, code);
}

std::optional<LRESULT> SentrelController::RunCommand(WORD id, WORD code) {
    switch (id) {
    case ID_LOCK:
        ToggleLock();
        // Hidden whether or not the password let the toggle through.
        SendMessageA(window_, WM_CLOSE, 0, 0);
        return 0;
    case ID_RELOAD:
        // Runs on this thread: the window waits for the download. The gate
        // held by OnCommand drops every reload asked for while this one or
        // its failure box is up, so at most one box is shown.
        ReloadSettingsFromSource([this] { ReloadSettings(); }, window_);
        return 0;
    case ID_SETTINGS:
        OpenSettings();
        return 0;
    case ID_EXIT:
        Exit();
        return 0;
    case IDCANCEL:
        ShowWindow(window_, SW_HIDE);
        return 0;
    default:
        return dialog_.HandleCommand(id, code);
    }
}

void SentrelController::OnTrayCallback(UINT mouseMessage) {
    switch (mouseMessage) {
    case WM_LBUTTONUP:
        if (IsWindowVisible(window_)) SetForegroundWindow(window_);
        break;
    case WM_LBUTTONDBLCLK:
        if (const auto pass = modalGate_.TryEnter()) ToggleLock();
        break;
    case WM_RBUTTONUP:
        // The menu's choice is posted and handled after the menu has closed.
        if (const auto pass = modalGate_.TryEnter()) ShowTrayMenu();
        break;
    default:
        break;
    }
}

void SentrelController::ShowTrayMenu() {
    const qz_support::UniqueHmenu menu(LoadMenuA(module_.Instance(), MAKEINTRESOURCEA(IDR_TRAY_MENU)));
    if (!menu) return;
    const HMENU tray = GetSubMenu(menu.get(), 0);
    if (!tray) return;
    POINT cursor{};
    GetCursorPos(&cursor);
    SetMenuDefaultItem(tray, 0, TRUE);
    CheckMenuItem(tray, ID_LOCK, MF_BYCOMMAND | (settings_.active ? MF_CHECKED : MF_UNCHECKED));
    EnableMenuItem(tray, ID_SETTINGS, MF_BYCOMMAND | (settings_.sourceConfigured ? MF_GRAYED : MF_ENABLED));
    if (!settings_.sourceConfigured) RemoveMenu(tray, ID_RELOAD, MF_BYCOMMAND);
    SetForegroundWindow(window_);
    TrackPopupMenu(tray, 0, cursor.x, cursor.y, 0, window_, nullptr);
}

bool SentrelController::ConfirmPassword() {
    // While the lock is held no password is known: nothing is granted.
    if (lockHeld_) return false;
    return sentrel::ConfirmPassword(module_.Instance(), settings_.password);
}

void SentrelController::ToggleLock() {
    if (!ConfirmPassword()) return;
    settings_.active = !settings_.active;
    // A save that raises (a loaded password longer than the stored form
    // holds) or that cannot be written (a settings key the user may only
    // read) leaves the lock, the image and the icon as they were.
    try {
        qz_support::ThrowIfFailed(SaveSettings(settings_));
    } catch (...) {
        settings_.active = !settings_.active;
        throw;
    }
    ChooseImage();
    ModifyTrayIcon(window_, currentImage_);
    RecordLockState(settings_.active, LockChange::Toggle);
}

void SentrelController::Exit() {
    if (!ConfirmPassword()) return;
    DeleteTrayIcon(window_);
    if (settings_.active) RecordLockState(false, LockChange::Exit);
    // In memory only: the stored settings keep the lock for the next start.
    settings_.active = false;
    iconShown_ = false;
    // The icon that comes back after an exit shows the lock as it is: off.
    ChooseImage();
    ShowWindow(window_, SW_HIDE);
}

void SentrelController::OpenSettings() {
    if (!ConfirmPassword()) return;
    FillSettingsDialog();
    dialog_.ShowGranted();
}

void SentrelController::FillSettingsDialog() {
    dialog_.Fill(settings_);
    AddTrayIcon(window_, currentImage_);
}

}  // namespace sentrel
