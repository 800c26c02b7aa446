#include "agent/navigation_log.h"

#include "support/entry_points.h"
#include "support/unique_any.h"

#include <mutex>
#include <string>

namespace sentrel::agent {
namespace {

// Where the platform's append is not one piece (Wine moves to the end and
// then writes), the tabs of one browser process still take turns.
std::mutex appending;

}  // namespace

void AppendLogRecord(const char* path, HRESULT answer, std::string_view address) noexcept {
    try {
        std::string record = std::to_string(static_cast<int>(answer));
        record += ", ";
        record.append(address.substr(0, address.find('\0')));
        if (record.size() > MAXDWORD) return;
        // Without FILE_WRITE_DATA every write goes to the end of the file as
        // one piece, however many processes write.
        const std::lock_guard<std::mutex> turn(appending);
        const qz_support::UniqueFile log(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!log) return;
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
