#include "settings/settings_dialog.h"

#include "resource_ids.h"
#include "settings/registry_store.h"
#include "settings/settings_import.h"
#include "settings/settings_records.h"
#include "settings/settings_store.h"
#include "support/com_error.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace sentrel {
namespace {

constexpr int kTextLimit = 4096;

void Enable(HWND control, bool enabled) { EnableWindow(control, enabled ? TRUE : FALSE); }

void SetCheck(HWND control, bool checked) {
    SendMessageA(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsChecked(HWND control) { return SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED; }

}  // namespace

void SettingsDialog::Bind(HWND window) {
    window_ = window;
    SendMessageA(Item(IDC_PASSWORD), EM_SETLIMITTEXT, kPasswordLimit, 0);
    SendMessageA(Item(IDC_CONFIRM), EM_SETLIMITTEXT, kPasswordLimit, 0);
}

std::string SettingsDialog::Text(int id) const {
    char text[kTextLimit] = {};
    GetDlgItemTextA(window_, id, text, kTextLimit);
    return text;
}

void SettingsDialog::Fill(const ControllerSettings& settings) {
    if (!CanWriteUninstallEntry()) Enable(Item(IDC_PROHIBIT_UNINSTALL), false);
    const HWND list = Item(IDC_SITE_LIST);
    const HWND hostName = Item(IDC_HOST_NAME);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    SendMessageA(hostName, CB_RESETCONTENT, 0, 0);

    SetDlgItemTextA(window_, IDC_HOST_NAME, "");
    SetDlgItemTextA(window_, IDC_CONFIRM, "");
    // The password itself is never shown (the record has only its hash):
    // the box holds a stand-in, and the password changes only when the box
    // is edited.
    SetDlgItemTextA(window_, IDC_PASSWORD, settings.password.Empty() ? "" : kPasswordStandIn);
    passwordEdited_ = false;

    // A long list is filled without redrawing, into storage reserved at once.
    size_t bytes = 0;
    for (const std::string_view entry : settings.hosts) bytes += entry.size() + 1;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_INITSTORAGE, settings.hosts.size(), bytes);
    for (const std::string_view entry : settings.hosts)  // each followed by a NUL
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.data()));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);

    for (const std::string& refused : settings.recentRefused) {
        if (SendMessageA(hostName, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(refused.c_str())) == CB_ERR)
            SendMessageA(hostName, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(refused.c_str()));
    }

    SetCheck(Item(IDC_BLOCK_POPUPS), settings.blockPopups);
    SetCheck(Item(IDC_PROHIBIT_UNINSTALL), settings.prohibitUninstall);
    SetCheck(Item(IDC_REVERSE), settings.reverseOperation);
    SetCheck(Item(IDC_HOST_MATCHING), settings.hostMatching == HostMatching::Domain);

    SetDlgItemTextA(window_, IDC_ERROR_URL, ToNarrow(settings.errorPage).c_str());
    SetCheck(Item(IDC_USE_ERROR_URL), !settings.errorPage.empty());
    Enable(Item(IDC_ERROR_URL), !settings.errorPage.empty());

    Enable(Item(IDC_CONFIRM), false);
    Enable(Item(IDOK), true);
    Enable(Item(IDC_ADD_HOST), false);
}

void SettingsDialog::ApplyTo(ControllerSettings& settings) const {
    const HWND list = Item(IDC_SITE_LIST);
    settings.hosts.Clear();
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    std::vector<char> entry;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        if (length == LB_ERR) continue;
        entry.assign(static_cast<size_t>(length) + 1, '\0');
        const LRESULT copied = SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        if (copied == LB_ERR) continue;
        settings.hosts.Insert(std::string(entry.data(), static_cast<size_t>(copied)));
    }
    settings.blockPopups = IsChecked(Item(IDC_BLOCK_POPUPS));
    settings.reverseOperation = IsChecked(Item(IDC_REVERSE));
    settings.hostMatching = IsChecked(Item(IDC_HOST_MATCHING)) ? HostMatching::Domain : HostMatching::Substring;
    settings.prohibitUninstall = IsChecked(Item(IDC_PROHIBIT_UNINSTALL));
    if (passwordEdited_) {
        const std::string typed = Text(IDC_PASSWORD);
        // More than the older reversible form held, which the limit of the
        // boxes keeps to for documents that older controllers still read.
        if (typed.size() > kMaxStoredPasswordBytes) qz_support::RaiseComError(E_INVALIDARG, nullptr);
        settings.password = SettingsPassword::Choose(typed);
    }
    settings.errorPage = ToWide(Text(IDC_ERROR_URL));
}

void SettingsDialog::SaveDialog(const std::optional<std::wstring>& fileName) {
    // A save that raises (a password the stored form cannot hold) or that
    // cannot be written (a settings key the user may only read) leaves the
    // settings in memory as they were and the dialog open; the error is shown.
    ControllerSettings edited = owner_.Settings();
    ApplyTo(edited);
    qz_support::ThrowIfFailed(SaveSettings(edited, fileName));
    owner_.Settings() = std::move(edited);
    if (!fileName) RecordSettingsApplied(L"the settings dialog", owner_.Settings());
}

void SettingsDialog::AddHostName() {
    const HWND hostName = Item(IDC_HOST_NAME);
    const std::string text = Text(IDC_HOST_NAME);
    // The empty entry would match every address.
    if (text.empty()) return;
    const LRESULT known =
        SendMessageA(hostName, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(Item(IDC_SITE_LIST), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (known != CB_ERR) SendMessageA(hostName, CB_DELETESTRING, known, 0);
    SendMessageA(hostName, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextA(hostName, "");
    Enable(Item(IDC_ADD_HOST), false);
    Enable(Item(IDC_REMOVE_ALL), true);
}

void SettingsDialog::RemoveSelectedHosts() {
    const HWND list = Item(IDC_SITE_LIST);
    const LRESULT selected = SendMessageA(list, LB_GETSELCOUNT, 0, 0);
    if (selected > 0) {
        std::vector<int> indexes(static_cast<size_t>(selected));
        const LRESULT got =
            SendMessageA(list, LB_GETSELITEMS, indexes.size(), reinterpret_cast<LPARAM>(indexes.data()));
        indexes.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
        std::sort(indexes.rbegin(), indexes.rend());
        for (int index : indexes) SendMessageA(list, LB_DELETESTRING, index, 0);
    }
    Enable(Item(IDC_REMOVE_ALL), SendMessageA(list, LB_GETCOUNT, 0, 0) > 0);
}

void SettingsDialog::UpdatePasswordButtons() {
    const std::string password = Text(IDC_PASSWORD);
    Enable(Item(IDC_CONFIRM), !password.empty());
    Enable(Item(IDOK), password == Text(IDC_CONFIRM));
}

void SettingsDialog::Import() {
    const std::optional<std::wstring> file = AskForFile(false);
    if (!file) return;
    const ImportOutcome imported = ImportSettingsFile(*file);
    if (Imported(imported)) {
        owner_.LoadSettings();
    } else {
        RecordDocumentRefused(*file, imported);
    }
    owner_.FillSettingsDialog();
}

std::optional<std::wstring> SettingsDialog::AskForFile(bool forExport) const {
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = L"XML Documents( *.xml )\0*.xml\0All Files\0*.*\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"xml";
    if (forExport) {
        dialog.lpstrTitle = L"Choose export file";
        dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
        if (!GetSaveFileNameW(&dialog)) return std::nullopt;
    } else {
        dialog.lpstrTitle = L"Choose import file";
        dialog.Flags = OFN_PATHMUSTEXIST;
        if (!GetOpenFileNameW(&dialog)) return std::nullopt;
    }
    return std::wstring(file);
}

void SettingsDialog::ShowGranted() {
    ShowWindow(window_, SW_SHOW);
    granted_ = true;
}

void SettingsDialog::NoteVisibility() {
    if (!IsWindowVisible(window_)) granted_ = false;
}

std::optional<LRESULT> SettingsDialog::HandleCommand(WORD id, WORD code) {
    if (!Granted()) return std::nullopt;
    return RunCommand(id, code);
}

std::optional<LRESULT> SettingsDialog::RunCommand(WORD id, WORD code) {
    switch (id) {
    case IDC_HOST_NAME:
        if (code != CBN_EDITCHANGE && code != CBN_SELCHANGE) return std::nullopt;
        Enable(Item(IDC_ADD_HOST), !Text(IDC_HOST_NAME).empty() ||
                                       SendMessageA(Item(IDC_HOST_NAME), CB_GETCURSEL, 0, 0) != CB_ERR);
        return 0;
    case IDC_ADD_HOST:
        // Also reached by Enter, as the default button, while it is disabled.
        if (IsWindowEnabled(Item(IDC_ADD_HOST))) AddHostName();
        return 0;
    case IDC_SITE_LIST:
        if (code != LBN_SELCHANGE) return std::nullopt;
        Enable(Item(IDC_REMOVE_HOST), SendMessageA(Item(IDC_SITE_LIST), LB_GETSELCOUNT, 0, 0) > 0);
        return 0;
    case IDC_REMOVE_HOST:
        RemoveSelectedHosts();
        return 0;
    case IDC_REMOVE_ALL:
        SendMessageA(Item(IDC_SITE_LIST), LB_RESETCONTENT, 0, 0);
        Enable(Item(IDC_REMOVE_ALL), false);
        return 0;
    case IDC_PASSWORD:
    case IDC_CONFIRM:
        if (code != EN_CHANGE) return std::nullopt;
        if (id == IDC_PASSWORD) passwordEdited_ = true;
        UpdatePasswordButtons();
        return 0;
    case IDC_USE_ERROR_URL:
        if (code != BN_CLICKED) return std::nullopt;
        Enable(Item(IDC_ERROR_URL), IsChecked(Item(IDC_USE_ERROR_URL)));
        SetDlgItemTextA(window_, IDC_ERROR_URL, "");
        return 0;
    case IDOK:
        if (!IsWindowEnabled(Item(IDOK))) return 0;
        SaveDialog(std::nullopt);
        ShowWindow(window_, SW_HIDE);
        return 0;
    case IDC_EXPORT:
        if (const std::optional<std::wstring> file = AskForFile(true)) SaveDialog(*file);
        return 0;
    case IDC_IMPORT:
        Import();
        return 0;
    default:
        return std::nullopt;
    }
}

}  // namespace sentrel
