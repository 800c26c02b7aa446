// The event log records of a program run under Wine, read back. Wine keeps
// no event log: its ReportEventW prints each record on its debug channels,
// the type and event id on the advapi channel's "fixme" line and each string
// on an "eventlog" line (err: for errors, warn: for warnings, trace:
// otherwise), written to the Unix standard error, which Wine does not take
// from the Windows standard handles. So the program is started from a shell
// that sends its standard error to a file, and the file is read back.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace sentrel::client {

struct EventRecord {
    WORD type = 0;  // EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE, EVENTLOG_INFORMATION_TYPE
    DWORD messageId = 0;
    std::vector<std::wstring> inserts;
    bool cut = false;  // Wine printed an insert only in part

    // The event id an administrator filters on.
    WORD EventId() const { return static_cast<WORD>(messageId & 0xFFFF); }
};

// The records in Wine's debug output, in the order they were written. A
// record whose strings are still to come is left out.
std::vector<EventRecord> ParseEventRecords(std::string_view debugOutput);

// A file in the temporary folder for one program's debug output.
class WineDebugLog {
public:
    WineDebugLog();
    WineDebugLog(const WineDebugLog&) = delete;
    WineDebugLog& operator=(const WineDebugLog&) = delete;
    ~WineDebugLog();

    const std::wstring& Path() const { return path_; }

    // Starts the program at `programPath` (a Windows path) with `arguments`
    // (words for the shell, quoted as the shell needs) in this Wine prefix,
    // with the channels that show records, its debug output appended to this
    // file. False when the shell could not be started.
    bool Start(const std::wstring& programPath, const std::wstring& arguments = {}) const;

    // The records written so far.
    std::vector<EventRecord> Records() const;

private:
    std::wstring path_;
};

// Starts the controller program as StartController does, with its records
// going to `log`; false when its window did not come up in time.
bool StartControllerRecording(const WineDebugLog& log, DWORD timeoutMs = 15000);

// The Wine channels that print the records and nothing else of note.
inline constexpr const char* kRecordChannels = "-all,+eventlog,fixme+advapi";

}  // namespace sentrel::client
