// The agent's diagnostic log: one record per question put to the
// controller, "<answer>, <address>" (the answer as a decimal number, the
// address up to its first NUL), appended with no separator.
#pragma once

#include <windows.h>

#include <string_view>

namespace sentrel::agent {

inline constexpr const char* kLogPath = "C:\\Sentrel.log";

// Appends one record to the log at `path` with a single write on a handle
// opened for appending only, so that the records of tabs writing at once,
// on several threads or in several processes, never split one another. A
// log that cannot be opened or written loses the record silently.
void AppendLogRecord(const char* path, HRESULT answer, std::string_view address) noexcept;

}  // namespace sentrel::agent
