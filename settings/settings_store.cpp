#include "settings/settings_store.h"

#include "settings/held_document.h"
#include "settings/registry_store.h"
#include "settings/settings_document.h"
#include "settings/settings_file_text.h"
#include "support/entry_points.h"

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

bool LoadSettings(ControllerSettings& settings, bool* activeLoaded) {
    if (activeLoaded) *activeLoaded = false;
    const StoredDocument stored = HeldOrStoredDocument();
    if (stored.state != StoredDocumentState::Present) return false;
    const ComPtr<IXMLDOMNode> element = ParseSettingsElement(stored.text);
    if (!element) return false;
    const bool active = ApplySettingsDocument(element.get(), settings);
    if (activeLoaded) *activeLoaded = active;
    return true;
}

SettingsLoad LoadStoredSettings(ControllerSettings& settings, bool* activeLoaded) noexcept {
    if (activeLoaded) *activeLoaded = false;
    try {
        const StoredDocument stored = HeldOrStoredDocument();
        if (stored.state == StoredDocumentState::Absent ||
            (stored.state == StoredDocumentState::Present && stored.text.empty()))
            return SettingsLoad::NoDocument;
        if (stored.state == StoredDocumentState::Unreadable) return SettingsLoad::Unusable;
        const ComPtr<IXMLDOMNode> element = ParseSettingsElement(stored.text);
        if (!element) return SettingsLoad::Unusable;
        const bool active = ApplySettingsDocument(element.get(), settings);
        if (activeLoaded) *activeLoaded = active;
        return SettingsLoad::Applied;
    } catch (...) {
        qz_support::ReportCurrentException();
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
