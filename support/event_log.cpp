#include "support/event_log.h"

#include "SentrelEvents.h"
#include "support/unique_any.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qz_support {
namespace {

constexpr ULONGLONG kMinuteMs = 60'000;
// How long the writer thread waits for another record before it ends.
constexpr auto kWriterIdle = std::chrono::seconds(2);

struct Record {
    DWORD messageId;
    std::vector<std::wstring> inserts;
};

// The records of one event id in the current minute.
struct Budget {
    ULONGLONG minuteStart = 0;
    int written = 0;
    bool leftOutRecorded = false;
};

struct Writer {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Record> queue;
    size_t writing = 0;  // taken off the queue, not yet handed to the log
    bool running = false;
    std::map<DWORD, Budget> budgets;
};

// Never destroyed: the writer thread may still run while the process's
// static objects go.
Writer& TheWriter() {
    static Writer* writer = new Writer;
    return *writer;
}

WORD TypeOf(DWORD messageId) {
    switch (messageId >> 30) {
    case 3:
        return EVENTLOG_ERROR_TYPE;
    case 2:
        return EVENTLOG_WARNING_TYPE;
    default:
        return EVENTLOG_INFORMATION_TYPE;
    }
}

void Report(HANDLE source, const Record& record) noexcept try {
    std::vector<const wchar_t*> strings;
    for (const std::wstring& insert : record.inserts) strings.push_back(insert.c_str());
    ReportEventW(source, TypeOf(record.messageId), 0, record.messageId, nullptr, static_cast<WORD>(strings.size()), 0,
                 strings.empty() ? nullptr : strings.data(), nullptr);
} catch (...) {
    // No memory for the list of strings: the record is lost.
}

// The writer thread's work: every record queued until none has come for a
// while. The source handle is the thread's own.
void WriteQueuedRecords() noexcept {
    const UniqueEventSource source(RegisterEventSourceW(nullptr, kEventSourceName));
    Writer& writer = TheWriter();
    std::unique_lock<std::mutex> guard(writer.lock);
    for (;;) {
        if (!writer.changed.wait_for(guard, kWriterIdle, [&] { return !writer.queue.empty(); })) {
            writer.running = false;
            return;
        }
        Record record = std::move(writer.queue.front());
        writer.queue.pop_front();
        ++writer.writing;
        guard.unlock();
        // Without a source (the log service refused it) the record is dropped.
        if (source) Report(source.get(), record);
        guard.lock();
        --writer.writing;
        writer.changed.notify_all();
    }
}

DWORD WINAPI WriterThread(void* module) {
    WriteQueuedRecords();
    // The reference taken when the thread was started kept this code loaded.
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

// Under the writer's lock.
void StartWriter(Writer& writer) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&WriterThread),
                            &module))
        return;
    const UniqueHandle thread(CreateThread(nullptr, 0, WriterThread, module, 0, nullptr));
    if (!thread) {
        // The records wait for the next record's attempt.
        FreeLibrary(module);
        return;
    }
    writer.running = true;
}

// Under the writer's lock: whether the record may go, and the one "left out"
// record when the id has used up its minute.
bool WithinBudget(Writer& writer, DWORD messageId) {
    Budget& budget = writer.budgets[messageId];
    const ULONGLONG now = GetTickCount64();
    if (budget.written == 0 || now - budget.minuteStart >= kMinuteMs) budget = Budget{now, 0, false};
    if (budget.written < kMaxRecordsPerMinute) {
        ++budget.written;
        return true;
    }
    if (!budget.leftOutRecorded) {
        budget.leftOutRecorded = true;
        writer.queue.push_back(
            {SENTREL_EVENT_RECORDS_LEFT_OUT, {std::to_wstring(messageId & 0xFFFF), std::to_wstring(kMaxRecordsPerMinute)}});
    }
    return false;
}

}  // namespace

void WriteEvent(DWORD messageId, std::initializer_list<std::wstring_view> inserts) noexcept try {
    Record record{messageId, {}};
    record.inserts.reserve(inserts.size());
    for (const std::wstring_view insert : inserts) record.inserts.emplace_back(insert.substr(0, kMaxInsertChars));
    Writer& writer = TheWriter();
    std::lock_guard<std::mutex> guard(writer.lock);
    if (writer.queue.size() >= kMaxQueuedRecords) return;
    if (!WithinBudget(writer, messageId)) {
        writer.changed.notify_all();
        return;
    }
    writer.queue.push_back(std::move(record));
    if (!writer.running) StartWriter(writer);
    writer.changed.notify_all();
} catch (...) {
    // No memory for the record, or no lock: it is lost, the caller goes on.
}

bool FlushEvents(DWORD timeoutMs) noexcept try {
    Writer& writer = TheWriter();
    std::unique_lock<std::mutex> guard(writer.lock);
    return writer.changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                   [&] { return writer.queue.empty() && writer.writing == 0; });
} catch (...) {
    return false;
}

std::wstring ModuleForRecord() {
    const auto fileName = [](HMODULE module) {
        wchar_t path[MAX_PATH] = {};
        const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
        const std::wstring_view whole(path, length < MAX_PATH ? length : 0);
        const size_t slash = whole.find_last_of(L"\\/");
        return std::wstring(slash == std::wstring_view::npos ? whole : whole.substr(slash + 1));
    };
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleForRecord), &self);
    const std::wstring program = fileName(nullptr);
    if (!self || self == GetModuleHandleW(nullptr)) return program;
    return fileName(self) + L" in " + program;
}

}  // namespace qz_support
