// The settings document: one element lockSettings with flag attributes
// ("Y"/"N"), errorPage, an optional password (settings_password.h) and one host child
// (attribute name) per site-list entry. The same text is the registry form,
// the export and import file and the downloaded form. This file builds the
// tree for a record and reads one back; settings_store.h saves and loads it,
// settings_import.h takes one in from outside.
#pragma once

#include "settings/controller_settings.h"
#include "settings/dom.h"
#include "settings/settings_reading.h"

#include <optional>
#include <string>

namespace sentrel {

// The document tree for `settings`, its password in the hashed form. Raises
// a COM error when a DOM call fails.
dom::ComPtr<IXMLDOMDocument> BuildSettingsDocument(const ControllerSettings& settings);

// The document's serialisation as 8-bit text in the system code page: what
// the registry stores and the export file holds, and what the import reads
// back unchanged. Raises when the stream cannot be made, saved into or read.
std::string SerializeSettingsDocument(const dom::ComPtr<IXMLDOMDocument>& document);

// The first lockSettings element in document order; null when there is none.
dom::ComPtr<IXMLDOMNode> FindSettingsElement(const dom::ComPtr<IXMLDOMDocument>& document);

// The lockSettings element of a document's text; null when the text is not
// XML or holds none. DOM failures raise.
dom::ComPtr<IXMLDOMNode> ParseSettingsElement(const WideString& text);

// The element's errorPage; empty when it has none.
WideString ErrorPageOf(IXMLDOMNode* element);

// One lockSettings element read through MSXML. A child that is not an
// element or has no name raises E_POINTER.
SettingsReading ReadSettingsElement(IXMLDOMNode* element);

// Applies one lockSettings element, all or nothing: the element is read
// completely first and the record (and the uninstall entry) change only when
// it was read without error. A child that is not an element or has no name
// raises E_POINTER and leaves everything as it was. Returns whether the
// element carried `active`.
bool ApplySettingsDocument(IXMLDOMNode* element, ControllerSettings& settings);

}  // namespace sentrel
