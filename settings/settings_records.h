// The settings' records in the event log (support/event_log.h): settings
// applied, a document refused, a synchronisation pass that fetched nothing.
// None of them carries the password or its hash.
#pragma once

#include "settings/controller_settings.h"
#include "settings/settings_import.h"

#include <string>
#include <string_view>

namespace sentrel {

// What asked for a synchronisation pass: the worker's hourly pass (the
// first at the start) or the tray menu's "Reload Settings".
enum class SyncTrigger { Worker, Menu };

// The source as records name it (source_paths.h: SourceForRecord), as wide text.
std::wstring SourceInRecords(std::string_view source);

// Settings applied from `from`: the number of site entries, the host
// matching rule ("substring", "domain") and the list's use ("allow list",
// "block list").
void RecordSettingsApplied(std::wstring_view from, const ControllerSettings& settings) noexcept;

// A document refused, from `from`, with the reason in words.
void RecordDocumentRefused(std::wstring_view from, std::wstring_view why) noexcept;
void RecordDocumentRefused(std::wstring_view from, ImportOutcome outcome) noexcept;

// A pass that fetched nothing from `source`, and why.
void RecordSyncFailed(std::string_view source, std::wstring_view why, SyncTrigger trigger) noexcept;

}  // namespace sentrel
