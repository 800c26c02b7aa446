#include "agent/navigation_log.h"

#include "support/entry_points.h"
#include "support/log_records.h"
#include "support/plain_file.h"
#include "support/unique_any.h"

#include <mutex>
#include <string>

namespace sentrel::agent {
namespace {

// Where the platform's append is not one piece (Wine moves to the end and
// then writes), the tabs of one browser process still take turns.
std::mutex appending;

}  // namespace

void AppendLogRecord(const wchar_t* path, HRESULT answer, std::string_view address) noexcept {
    try {
        const std::string record = LogRecordText(answer, address);
        if (record.size() > MAXDWORD) return;
        const std::lock_guard<std::mutex> turn(appending);
        // Without FILE_WRITE_DATA every write goes to the end of the file as
        // one piece, however many processes write; reading its attributes
        // and waiting on it is all else the log's descriptor grants users.
        // Every sharing is allowed, so that other writers append meanwhile
        // and the controller can rename the log aside.
        const qz_support::UniqueFile log(CreateFileW(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                     OPEN_EXISTING,
                                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!log || !qz_support::IsPlainFile(log.get())) return;
        DWORD written = 0;
        WriteFile(log.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    } catch (...) {
        // No memory for the record: it is lost, as for a log that cannot be
        // opened, and said where failures are reported.
        try {
            qz_support::ReportError(E_OUTOFMEMORY);
        } catch (...) {
        }
    }
}

}  // namespace sentrel::agent
