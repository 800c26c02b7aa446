// A settings document file as the controller would take it: read as the
// import reads it, parsed (MSXML on Windows, libxml2 elsewhere), its
// lockSettings element found and read by the controller's own reader.
#pragma once

#include "settings/settings_reading.h"

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

// Why the controller would refuse the document; empty when it loads.
const char* DescribeVerdict(Verdict verdict);

}  // namespace sentrel::check
