// The agent's diagnostic log: one record per question put to the controller
// (support/log_records.h), appended to the log that the controller's
// registration made (support/log_location.h).
#pragma once

#include <windows.h>

#include <string_view>

namespace sentrel::agent {

// Appends one record to the log at `path` with a single write on a handle
// opened for appending only, so that the records of tabs writing at once,
// on several threads or in several processes, never split one another.
// Only an existing plain file is written: a missing log is not made here
// (it would take the folder's inherited access, which lets users rewrite
// it, instead of the log's own), and a link or folder in its place is not
// followed. A log that cannot be opened or written loses the record
// silently.
void AppendLogRecord(const wchar_t* path, HRESULT answer, std::string_view address) noexcept;

}  // namespace sentrel::agent
