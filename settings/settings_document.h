// The settings document: one element lockSettings with flag attributes
// ("Y"/"N"), errorPage, an optional password (settings_password.h) and one host child
// (attribute name) per site-list entry. The same text is the registry form,
// the export and import file and the downloaded form.
#pragma once

#include "settings/controller_settings.h"
#include "settings/dom.h"
#include "settings/registry_store.h"
#include "settings/settings_reading.h"

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

// The document tree for `settings`, its password in the hashed form. Raises
// a COM error when a DOM call fails.
dom::ComPtr<IXMLDOMDocument> BuildSettingsDocument(const ControllerSettings& settings);

// The document's serialisation as 8-bit text in the system code page: what
// the registry stores and the export file holds, and what the import reads
// back unchanged. Nothing when saving into the stream or reaching its memory
// failed; a stream that cannot be created raises.
std::optional<std::string> SerializeSettingsDocument(const dom::ComPtr<IXMLDOMDocument>& document);

// Writes the document to `fileName`, or to the settings key when there is
// none, then writes the uninstall entry and empties recentRefused. Returns
// whether the text reached the file or the registry. DOM failures raise.
bool SaveSettings(ControllerSettings& settings, const std::optional<std::wstring>& fileName = std::nullopt);

// Reads the stored document (or the fetched one held for this run, see
// ImportSettingsFile) and applies it. Returns whether a lockSettings element
// was applied; a missing or malformed document changes nothing.
// `activeLoaded` tells whether the document set `active`.
bool LoadSettings(ControllerSettings& settings, bool* activeLoaded = nullptr);

// The same, telling a workstation without settings from one whose settings
// cannot be used, and never raising: NoDocument when there is no stored
// document (or it is empty); Unusable when one is there but cannot be read
// or applied (the key or value unreadable, no parser, not XML, no
// lockSettings, a bad child). Only Applied changes `settings`.
enum class SettingsLoad { Applied, NoDocument, Unusable };
SettingsLoad LoadStoredSettings(ControllerSettings& settings, bool* activeLoaded = nullptr) noexcept;

// The errorPage of the stored document when it can be parsed at all, also
// when the document cannot be applied; empty otherwise.
WideString ErrorPageOfStoredDocument() noexcept;


// One lockSettings element read through MSXML. A child that is not an
// element or has no name raises E_POINTER.
SettingsReading ReadSettingsElement(IXMLDOMNode* element);

// Applies one lockSettings element, all or nothing: the element is read
// completely first and the record (and the uninstall entry) change only when
// it was read without error. A child that is not an element or has no name
// raises E_POINTER and leaves everything as it was. Returns whether the
// element carried `active`.
bool ApplySettingsDocument(IXMLDOMNode* element, ControllerSettings& settings);

// The first lockSettings element in document order; null when there is none.
dom::ComPtr<IXMLDOMNode> FindSettingsElement(const dom::ComPtr<IXMLDOMDocument>& document);

// A settings file's bytes as text: 8-bit text in the system code page, each
// chunk of kSettingsTextChunkBytes up to its first NUL.
inline constexpr size_t kSettingsTextChunkBytes = 1023;
WideString SettingsTextOfBytes(std::string_view bytes);

// A settings file's text (as SettingsTextOfBytes). Empty when the file does
// not open; nothing when it is larger than a settings document can be.
std::optional<WideString> ReadSettingsFileText(const std::wstring& path);

// Reads the file (8-bit text) and, when it holds a lockSettings element that
// loads without error, stores the file's own text as the settings document
// without creating a settings key. Anything else (no file, too large, not
// XML, no lockSettings, a bad child) returns false and stores nothing.
// With `holdUnstored`, a document that loads but cannot be stored (a
// standard user under "MachineSettingsOnly" may not write the machine's
// key) is held in memory for the next loads of this run instead, and
// `*stored` tells which happened; a document that is stored ends the hold.
bool ImportSettingsFile(const std::wstring& path, bool holdUnstored = false, bool* stored = nullptr);

// The same for a text already read: a download's body, imported from the
// bytes that were downloaded and not from a file another program could have
// replaced in between.
bool ImportSettingsText(const WideString& text, bool holdUnstored = false, bool* stored = nullptr);

}  // namespace sentrel
