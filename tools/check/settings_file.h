// A settings document file as the controller would take it: read as the
// import reads it, parsed (MSXML on Windows, libxml2 elsewhere), its
// lockSettings element found and read by the controller's own reader.
#pragma once

#include "settings/settings_reading.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sentrel::check {

enum class Verdict {
    Unreadable,      // the file does not open
    TooLarge,        // larger than a settings document can be
    DocumentType,    // declares a document type
    NotWellFormed,   // not XML
    NoLockSettings,  // well-formed, but no lockSettings element
    BadChild,        // a child of lockSettings that is not an element with a name
    BadPassword,     // a password that begins as the hashed form but is not one
    Loaded,
};

struct SettingsFile {
    Verdict verdict = Verdict::Unreadable;
    SettingsReading reading;
    // lockSettings' attributes as written, and its children's names in
    // document order (duplicates kept); filled when the element was found.
    std::vector<std::pair<std::string, WideString>> attributes;
    std::vector<std::string> entries;
};

SettingsFile LoadSettingsFile(const std::string& path);

// What is refused before parsing: a file too large to have been read (no
// text) and a document type declaration. Nothing when the text goes on to
// the parser.
inline std::optional<Verdict> RefusedUnparsed(const std::optional<WideString>& text) {
    if (!text) return Verdict::TooLarge;
    if (DeclaresDocumentType(*text)) return Verdict::DocumentType;
    return std::nullopt;
}

// Why the reader rejected the element read into `file.attributes`: its
// password, or else one of its children.
inline Verdict RejectedVerdict(const SettingsFile& file) {
    for (const auto& [name, value] : file.attributes)
        if (name == "password" && !SettingsPassword::FromStored(ToNarrow(value))) return Verdict::BadPassword;
    return Verdict::BadChild;
}

// Why the controller would refuse the document; empty when it loads.
const char* DescribeVerdict(Verdict verdict);

}  // namespace sentrel::check
