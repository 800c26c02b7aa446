// Records in the Windows event log: the source "Sentrel" of the Application
// log, whose messages are the controller's message table (resources/
// SentrelEvents.mc). What an administrator watching a fleet reads.
//
// Writing never blocks the caller for long and never raises: a record is
// queued and a writer thread of the module's own writes it with ReportEventW.
// The thread is started with the first record, keeps the module loaded while
// it runs, and ends after a few idle seconds, so a library unloaded by its
// host process never runs a thread of its code. Records leave in the order
// they were queued.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace qz_support {

inline constexpr const wchar_t* kEventSourceName = L"Sentrel";

// At most this many records of one event id within a minute, so that a
// change somebody repeats in a loop cannot push older records out of the
// log: the record over the limit is replaced by one "records left out"
// record, and the rest of that minute's records of the id are dropped.
inline constexpr int kMaxRecordsPerMinute = 20;
// Records waiting beyond this many (the log service does not answer) are dropped.
inline constexpr size_t kMaxQueuedRecords = 1000;
// Each string of a record is cut to this many characters.
inline constexpr size_t kMaxInsertChars = 4096;

// Queues one record. `messageId` is a message of the table, whose two top
// bits (the severity) give the record's type: error, warning or
// information. `inserts` are the message's %1, %2, ... in order.
void WriteEvent(DWORD messageId, std::initializer_list<std::wstring_view> inserts) noexcept;

// Waits up to `timeoutMs` until every queued record has been handed to the
// log; true when none is left. Called before the process ends.
bool FlushEvents(DWORD timeoutMs) noexcept;

// The name of the module this code runs in and, for a library, the program
// that loaded it: "SentrelAgentController.exe", "SentrelAgent.dll in
// iexplore.exe". Records name it, since a library and its program share
// the source.
std::wstring ModuleForRecord();

}  // namespace qz_support
