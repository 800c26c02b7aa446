#include "settings/settings_records.h"

#include "SentrelEvents.h"
#include "settings/source_paths.h"
#include "support/event_log.h"

namespace sentrel {

std::wstring SourceInRecords(std::string_view source) {
    return ToWindowsWide(SourceForRecord(source));
}

void RecordSettingsApplied(std::wstring_view from, const ControllerSettings& settings) noexcept try {
    qz_support::WriteEvent(SENTREL_EVENT_SETTINGS_APPLIED,
                           {from, std::to_wstring(settings.hosts.size()),
                            settings.hostMatching == HostMatching::Domain ? L"domain" : L"substring",
                            settings.reverseOperation ? L"block list" : L"allow list"});
} catch (...) {
    // No memory for the count's text: no record.
}

void RecordDocumentRefused(std::wstring_view from, std::wstring_view why) noexcept {
    qz_support::WriteEvent(SENTREL_EVENT_DOCUMENT_REFUSED, {from, why});
}

void RecordDocumentRefused(std::wstring_view from, ImportOutcome outcome) noexcept {
    RecordDocumentRefused(from, DescribeImportOutcome(outcome));
}

void RecordSyncFailed(std::string_view source, std::wstring_view why, SyncTrigger trigger) noexcept try {
    qz_support::WriteEvent(SENTREL_EVENT_SYNC_FAILED,
                           {SourceInRecords(source), why,
                            trigger == SyncTrigger::Menu ? L"the tray menu's reload" : L"the synchronisation pass"});
} catch (...) {
    // No memory for the source's text: no record.
}

}  // namespace sentrel
