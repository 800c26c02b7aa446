// A settings document taken in from outside, from a file the administrator
// picks or a download: stored only when it loads without error, so a broken
// document never replaces one that works.
#pragma once

#include "support/text.h"

#include <optional>
#include <string>
#include <string_view>

namespace sentrel {

enum class ImportOutcome {
    Stored,      // stored as the settings document (and any held one dropped)
    Held,        // loads but could not be stored: held for the loads of this run
    Unreadable,  // no file name, a file that does not open or is empty, or one
                 // larger than a settings document can be
    NotXml,      // not well-formed, or declares a document type
    NoSettings,  // well-formed, but without a lockSettings element
    BadElement,  // a child that is no element or has no name, a malformed password
    NotStored,   // loads, but the settings key could not be written
};

// Whether the import changed what the next load applies.
inline bool Imported(ImportOutcome outcome) {
    return outcome == ImportOutcome::Stored || outcome == ImportOutcome::Held;
}

// Why a document is refused, in words for a record ("it is not well-formed
// XML, ..."); for Stored and Held, what became of it.
std::wstring_view DescribeImportOutcome(ImportOutcome outcome);

// Why the next load would refuse `text` (NotXml, NoSettings, BadElement);
// nothing when it loads. DOM failures raise.
std::optional<ImportOutcome> RefusalOf(const WideString& text);

// Reads the file (8-bit text) and imports its text. The settings key is
// never created: without one the document is not stored.
// With `holdUnstored`, a document that loads but cannot be stored (a
// standard user under "MachineSettingsOnly" may not write the machine's
// key) is held in memory for the next loads of this run instead.
// The file's path is noted as the document's origin (document_origin.h).
ImportOutcome ImportSettingsFile(const std::wstring& path, bool holdUnstored = false);

// Where an import stores the document it takes in.
enum class ImportStore {
    SettingsKey,      // the settings key in force, never created
    UserSettingsKey,  // the user's settings key, created when missing (registry_store.h)
};

// The same for a text already read: a download's body, imported from the
// bytes that were downloaded and not from a file another program could have
// replaced in between. `origin`, when given, is noted as the stored
// document's origin.
ImportOutcome ImportSettingsText(const WideString& text, bool holdUnstored = false, std::wstring_view origin = {},
                                 ImportStore store = ImportStore::SettingsKey);

}  // namespace sentrel
