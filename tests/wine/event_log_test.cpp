// The event log writer (support/event_log.h) in a program of its own
// (event_log_writer.cpp), its records read back from Wine's debug output:
// records from several threads arrive whole and each thread's in order, an
// id past its budget gives one "left out" record, ReportError and ShowError
// write theirs, a record after the writer went idle still arrives, and a
// library freed while its record is on the way stays loaded until it is
// written and is unloaded after.
#include "tools/client/controller_client.h"
#include "tools/client/wine_event_log.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace sentrel {
namespace {

using client::EventRecord;

std::vector<EventRecord> OfId(const std::vector<EventRecord>& records, WORD eventId) {
    std::vector<EventRecord> found;
    std::copy_if(records.begin(), records.end(), std::back_inserter(found),
                 [&](const EventRecord& record) { return record.EventId() == eventId; });
    return found;
}

std::vector<std::wstring> Inserts(const std::vector<EventRecord>& records, WORD eventId) {
    const std::vector<EventRecord> found = OfId(records, eventId);
    return found.size() == 1 ? found[0].inserts : std::vector<std::wstring>{L"<" + std::to_wstring(found.size()) + L" records>"};
}

TEST(EventLog, RecordsArriveWholeInOrderWithinTheirBudgetAndFromAFreedLibrary) {
    const client::WineDebugLog log;
    ASSERT_TRUE(log.Start(client::BuildMachinePath(SENTREL_EVENT_LOG_WRITER),
                          L"'" + client::BuildMachinePath(SENTREL_EVENT_LOG_LIBRARY) + L"'"));
    std::vector<EventRecord> records;
    ASSERT_TRUE(client::WaitUntil([&] { return !OfId(records = log.Records(), 2999).empty(); }, 60000))
        << records.size() << " records";

    for (int thread = 0; thread < 4; ++thread) {
        const std::vector<EventRecord> written = OfId(records, static_cast<WORD>(2000 + thread));
        ASSERT_EQ(written.size(), 20u) << "thread " << thread;
        for (size_t i = 0; i < written.size(); ++i) {
            EXPECT_EQ(written[i].type, EVENTLOG_INFORMATION_TYPE);
            EXPECT_EQ(written[i].inserts, (std::vector<std::wstring>{std::to_wstring(thread), std::to_wstring(i)}));
        }
    }

    const auto flood = std::find_if(records.begin(), records.end(), [](const EventRecord& r) { return r.EventId() == 2100; });
    const auto leftOut = std::find_if(records.begin(), records.end(), [](const EventRecord& r) { return r.EventId() == 1102; });
    EXPECT_EQ(OfId(records, 2100).size(), 20u) << "twenty of one id in a minute";
    EXPECT_EQ(Inserts(records, 1102), (std::vector<std::wstring>{L"2100", L"20"}));
    EXPECT_TRUE(flood < leftOut) << "the record that says so comes after the ones that went";
    if (leftOut != records.end()) EXPECT_EQ(leftOut->type, EVENTLOG_WARNING_TYPE);
    if (flood != records.end()) EXPECT_EQ(flood->type, EVENTLOG_WARNING_TYPE);

    const std::vector<std::wstring> failure = Inserts(records, 1100);
    ASSERT_EQ(failure.size(), 3u);
    EXPECT_EQ(failure[0].substr(0, 10), L"0x8007000E");
    EXPECT_EQ(failure[1], L"event_log_writer.cpp, line 42");
    EXPECT_EQ(failure[2], L"event_log_writer.exe");
    EXPECT_EQ(OfId(records, 1100).front().type, EVENTLOG_ERROR_TYPE);
    const std::vector<std::wstring> shown = Inserts(records, 1101);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].substr(0, 16), L"Error 0x80070005");
    EXPECT_EQ(shown[1], L"event_log_writer.exe");

    EXPECT_EQ(Inserts(records, 2200), (std::vector<std::wstring>{L"after the writer went idle"}));
    EXPECT_EQ(Inserts(records, 2300), (std::vector<std::wstring>{L"event_log_library.dll in event_log_writer.exe"}));
    EXPECT_EQ(Inserts(records, 2999), (std::vector<std::wstring>{L"kept while writing: yes, unloaded after: yes"}));
    for (const EventRecord& record : records) EXPECT_FALSE(record.cut);
}

}  // namespace
}  // namespace sentrel
