#include "settings/settings_store.h"

#include "settings/document_origin.h"
#include "settings/held_document.h"
#include "settings/registry_store.h"
#include "settings/settings_document.h"
#include "settings/settings_file_text.h"
#include "settings/settings_import.h"
#include "support/entry_points.h"

#include <cwchar>

namespace sentrel {

using dom::ComPtr;

HRESULT SaveSettings(ControllerSettings& settings, const std::optional<std::wstring>& fileName) {
    // A password read from the reversible form is hashed once, here, and
    // kept hashed: no later save writes the reversible form again.
    if (settings.password.StoredAs() == SettingsPassword::Form::Reversible)
        settings.password = *SettingsPassword::FromStored(settings.password.StoredForm());
    const std::string text = SerializeSettingsDocument(BuildSettingsDocument(settings));
    const HRESULT stored = fileName ? WriteSettingsFile(*fileName, text) : WriteStoredDocument(text, true);
    WriteUninstallEntry(settings.prohibitUninstall);
    settings.recentRefused.clear();
    return stored;
}

namespace {

constexpr const wchar_t* kUnreadableValue =
    L"the key or its value cannot be read, the value is not text, or it is larger than a settings document can be";

// The stored document and where it came from.
StoredDocument DocumentToLoad(SettingsLoadDetail* detail) {
    StoredDocument stored = HeldOrStoredDocument();
    if (detail) {
        const std::optional<std::wstring> noted =
            stored.state == StoredDocumentState::Present ? NotedOriginOf(stored.text) : std::nullopt;
        detail->from = noted ? *noted : stored.location;
        detail->problem.clear();
    }
    return stored;
}

// Why the next load would refuse a present text; nothing when it would load
// it, or when that cannot be told.
std::optional<ImportOutcome> RefusalOfText(const WideString& text) noexcept {
    if (text.empty()) return std::nullopt;
    try {
        return RefusalOf(text);
    } catch (...) {
        return std::nullopt;
    }
}

// Why a present text was not applied: its refusal, or else `failure`, the
// error that stopped the load of a text that would load (no parser, no
// memory).
std::wstring ProblemOf(const std::optional<ImportOutcome>& refused, HRESULT failure) noexcept try {
    if (refused) return std::wstring(DescribeImportOutcome(*refused));
    wchar_t code[64];
    swprintf(code, 64, L"the settings could not be read (error 0x%08lX)", static_cast<unsigned long>(failure));
    return code;
} catch (...) {
    return {};
}

}  // namespace

bool LoadSettings(ControllerSettings& settings, bool* activeLoaded, SettingsLoadDetail* detail) {
    if (activeLoaded) *activeLoaded = false;
    const StoredDocument stored = DocumentToLoad(detail);
    if (stored.state == StoredDocumentState::Unreadable && detail) detail->problem = kUnreadableValue;
    if (stored.state != StoredDocumentState::Present) return false;
    try {
        const ComPtr<IXMLDOMNode> element = ParseSettingsElement(stored.text);
        if (!element) {
            if (detail && !stored.text.empty()) detail->problem = ProblemOf(RefusalOfText(stored.text), E_FAIL);
            return false;
        }
        const bool active = ApplySettingsDocument(element.get(), settings);
        if (activeLoaded) *activeLoaded = active;
        return true;
    } catch (const _com_error& error) {
        if (detail) detail->problem = ProblemOf(RefusalOfText(stored.text), error.Error());
        throw;
    }
}

SettingsLoad LoadStoredSettings(ControllerSettings& settings, bool* activeLoaded, SettingsLoadDetail* detail) noexcept {
    if (activeLoaded) *activeLoaded = false;
    WideString text;
    try {
        StoredDocument stored = DocumentToLoad(detail);
        if (stored.state == StoredDocumentState::Absent ||
            (stored.state == StoredDocumentState::Present && stored.text.empty()))
            return SettingsLoad::NoDocument;
        if (stored.state == StoredDocumentState::Unreadable) {
            if (detail) detail->problem = kUnreadableValue;
            return SettingsLoad::Unusable;
        }
        text = std::move(stored.text);
        const ComPtr<IXMLDOMNode> element = ParseSettingsElement(text);
        if (!element) {
            if (detail) detail->problem = ProblemOf(RefusalOfText(text), E_FAIL);
            return SettingsLoad::Unusable;
        }
        const bool active = ApplySettingsDocument(element.get(), settings);
        if (activeLoaded) *activeLoaded = active;
        return SettingsLoad::Applied;
    } catch (...) {
        // A document the import would refuse too is the document's fault,
        // told by the caller's record; anything else is an unexpected failure.
        const std::optional<ImportOutcome> refused = RefusalOfText(text);
        const HRESULT failure = refused ? E_FAIL : qz_support::ReportCurrentException();
        if (detail) detail->problem = ProblemOf(refused, failure);
        return SettingsLoad::Unusable;
    }
}

WideString ErrorPageOfStoredDocument() noexcept {
    try {
        const StoredDocument stored = HeldOrStoredDocument();
        if (stored.state != StoredDocumentState::Present) return {};
        const ComPtr<IXMLDOMNode> element = ParseSettingsElement(stored.text);
        return element ? ErrorPageOf(element.get()) : WideString();
    } catch (...) {
        qz_support::ReportCurrentException();
        return {};
    }
}

}  // namespace sentrel
