#include "settings/settings_import.h"

#include "settings/document_origin.h"
#include "settings/held_document.h"
#include "settings/registry_store.h"
#include "settings/settings_document.h"
#include "settings/settings_file_text.h"

#include <optional>

namespace sentrel {

using dom::ComPtr;

std::wstring_view DescribeImportOutcome(ImportOutcome outcome) {
    switch (outcome) {
    case ImportOutcome::Stored:
        return L"stored as the settings document";
    case ImportOutcome::Held:
        return L"held for this run: the settings key could not be written";
    case ImportOutcome::Unreadable:
        return L"the file could not be read, is empty or is larger than a settings document can be";
    case ImportOutcome::NotXml:
        return L"it is not well-formed XML, or it declares a document type";
    case ImportOutcome::NoSettings:
        return L"it holds no lockSettings element";
    case ImportOutcome::BadElement:
        return L"a child of lockSettings is not an element or has no name, or its password is malformed";
    case ImportOutcome::NotStored:
        return L"the settings key could not be written";
    }
    return L"";
}

std::optional<ImportOutcome> RefusalOf(const WideString& text) {
    const ComPtr<IXMLDOMDocument> document = dom::CreateDocument();
    if (!dom::LoadXml(document, text)) return ImportOutcome::NotXml;
    const ComPtr<IXMLDOMNode> element = FindSettingsElement(document);
    if (!element) return ImportOutcome::NoSettings;
    try {
        ReadSettingsElement(element.get());
    } catch (const _com_error&) {
        return ImportOutcome::BadElement;
    }
    return std::nullopt;
}

ImportOutcome ImportSettingsFile(const std::wstring& path, bool holdUnstored) {
    if (path.empty()) return ImportOutcome::Unreadable;
    const std::optional<WideString> text = ReadSettingsFileText(path);
    if (!text || text->empty()) return ImportOutcome::Unreadable;
    return ImportSettingsText(*text, holdUnstored, path);
}

ImportOutcome ImportSettingsText(const WideString& text, bool holdUnstored, std::wstring_view origin,
                                 ImportStore store) {
    // A text that the next load would reject must not replace one that loads.
    if (const std::optional<ImportOutcome> refused = RefusalOf(text)) return *refused;
    const std::string stored = ToNarrow(text);
    const HRESULT written =
        store == ImportStore::UserSettingsKey ? WriteUserStoredDocument(stored) : WriteStoredDocument(stored, false);
    if (SUCCEEDED(written)) {
        HoldFetchedDocument(std::nullopt);
        // As the registry gives the text back to the next load.
        if (!origin.empty()) NoteDocumentOrigin(std::wstring(origin), ToWide(stored));
        return ImportOutcome::Stored;
    }
    if (!holdUnstored) return ImportOutcome::NotStored;
    HoldFetchedDocument(text);
    if (!origin.empty()) NoteDocumentOrigin(std::wstring(origin), text);
    return ImportOutcome::Held;
}

}  // namespace sentrel
