#include "settings/settings_import.h"

#include "settings/held_document.h"
#include "settings/registry_store.h"
#include "settings/settings_document.h"
#include "settings/settings_file_text.h"

#include <optional>

namespace sentrel {

using dom::ComPtr;

ImportOutcome ImportSettingsFile(const std::wstring& path, bool holdUnstored) {
    if (path.empty()) return ImportOutcome::Unreadable;
    const std::optional<WideString> text = ReadSettingsFileText(path);
    if (!text || text->empty()) return ImportOutcome::Unreadable;
    return ImportSettingsText(*text, holdUnstored);
}

ImportOutcome ImportSettingsText(const WideString& text, bool holdUnstored, ImportStore store) {
    const ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    if (!dom::LoadXml(document, text)) return ImportOutcome::NotXml;
    // A text that the next load would reject must not replace one that loads.
    const ComPtr<IXMLDOMNode> element = FindSettingsElement(document);
    if (!element) return ImportOutcome::NoSettings;
    try {
        ReadSettingsElement(element.get());
    } catch (const _com_error&) {
        return ImportOutcome::BadElement;
    }
    const std::string narrow = ToNarrow(text);
    const HRESULT written =
        store == ImportStore::UserSettingsKey ? WriteUserStoredDocument(narrow) : WriteStoredDocument(narrow, false);
    if (SUCCEEDED(written)) {
        HoldFetchedDocument(std::nullopt);
        return ImportOutcome::Stored;
    }
    if (!holdUnstored) return ImportOutcome::NotStored;
    HoldFetchedDocument(text);
    return ImportOutcome::Held;
}

}  // namespace sentrel
