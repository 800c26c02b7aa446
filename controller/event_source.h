// The event source "Sentrel" of the Application log, registered beside the
// class: HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Sentrel
// names the program as its message file, so that the log's viewers render
// the records from the program's message table.
#pragma once

#include <windows.h>

#include <string>

namespace sentrel {

inline constexpr const char* kEventSourceKeyPath = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Sentrel";
// Error, warning and information records.
inline constexpr DWORD kEventTypesSupported = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

// Writes "EventMessageFile" (REG_EXPAND_SZ, `programPath`) and
// "TypesSupported"; S_OK or the failing call's error.
HRESULT RegisterEventLogSource(const std::wstring& programPath);

// Removes the source's key; a key that is already gone counts as removed.
HRESULT UnregisterEventLogSource();

}  // namespace sentrel
