// The agent in a tabbed browser: every tab has its own browser object and
// agent on its own thread, below one frame window that get_HWND names for
// all of them.
#include "agent/navigation_log.h"
#include "support/unique_any.h"
#include "tests/wine/agent_fixture.h"
#include "tests/wine/figures.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace sentrel::testing {
namespace {

using host::BrowserThread;
using host::BrowserWindow;

class AgentTabs : public AgentTest {
protected:
    static void SetUpTestSuite() {
        AgentTest::SetUpTestSuite();
        UseController(LockedDocument("allowed.test").c_str());
    }
    static void TearDownTestSuite() { RemoveController(); }
};

// A left click on a new child window of the tab's page.
void Click(BrowserThread& tab) {
    tab.Do([](BrowserWindow& window) {
        const HWND target = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, window.Page(), nullptr, nullptr,
                                            nullptr);
        SendMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    });
}

bool PopupOpens(BrowserThread& tab) {
    bool opened = false;
    tab.Do([&](BrowserWindow& window) { opened = !window.Browser().NewWindow().cancelled; });
    return opened;
}

TEST_F(AgentTabs, AClickLetsOnePopupThroughInItsOwnTabOnly) {
    host::TabbedBrowser browser(2);
    BrowserThread& first = browser.Tab(0);
    BrowserThread& second = browser.Tab(1);
    for (BrowserThread* tab : {&first, &second})
        tab->Do([](BrowserWindow& window) { window.Browser().Navigate(L"http://allowed.test/"); });

    Click(first);
    EXPECT_FALSE(PopupOpens(second)) << "nobody clicked in the second tab";
    EXPECT_TRUE(PopupOpens(first)) << "the click in the first tab";
    EXPECT_FALSE(PopupOpens(first)) << "one window for one click";

    browser.Close(1);
    Click(first);
    EXPECT_TRUE(PopupOpens(first)) << "the first tab is still followed after the second closed";
}

// Tabs opened and closed on two threads at once, some with a window of
// their own and some knowing only the frame (whose agents then follow the
// other thread's pages too), while mouse messages reach the pages of both.
TEST_F(AgentTabs, TabsComeAndGoOnTwoThreadsWhileTheirPagesAreClicked) {
    constexpr int kRounds = 1000;
    // S_FALSE: something of the agent lives (a failure: the library is not
    // loaded, so nothing of it can).
    ASSERT_NE(AgentCanUnloadNow(), S_FALSE) << "nothing of the agent lives before";
    const HWND frame = host::CreateFrameWindow();
    std::atomic<HWND> pages[2] = {nullptr, nullptr};
    auto run = [&](int self) {
        return [&, self](BrowserWindow&) {
            for (int round = 0; round < kRounds; ++round) {
                auto tab = BrowserWindow::Tab(frame, (round + self) % 2 == 0);
                const HWND page = tab->Page();
                pages[self] = page;
                for (UINT message : {WM_MOUSEMOVE, WM_SETCURSOR, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_RBUTTONUP}) {
                    SendMessageA(page, message, MK_LBUTTON, 0);
                    // Handled on the other thread, maybe after its tab is gone.
                    PostMessageA(pages[1 - self], message, MK_LBUTTON, 0);
                }
                host::PumpMessages(0);
                pages[self] = nullptr;
                tab.reset();
            }
            host::PumpMessages(300);  // the click timers fire
        };
    };
    const auto start = std::chrono::steady_clock::now();
    {
        auto open = [frame] { return BrowserWindow::Tab(frame); };
        BrowserThread first(open);
        BrowserThread second(open);
        first.Start(run(0));
        second.Start(run(1));
        first.Finish();
        second.Finish();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    DestroyWindow(frame);

    const HRESULT afterwards = AgentCanUnloadNow();
    const bool heapValid = HeapValidate(GetProcessHeap(), 0, nullptr) != FALSE;
    EXPECT_NE(afterwards, S_FALSE) << "every agent, hook and followed window gave its module lock back";
    EXPECT_TRUE(heapValid);
    char line[200];
    std::snprintf(line, sizeof line,
                  "agent tabs: 2 threads x %d rounds in %.1f s; module locks before: none, after: %s; heap %s",
                  kRounds, seconds, afterwards != S_FALSE ? "none" : "SOME LEFT", heapValid ? "valid" : "CORRUPT");
    ReportFigure(line);
}

// The log's writer on two threads at once, as two tabs write it, with
// records longer than a C runtime's file buffer: each record reaches the
// file whole, and none is lost or split by the other thread's.
TEST(AgentLog, RecordsWrittenAtOnceNeverSplit) {
    constexpr int kRounds = 2000;
    constexpr size_t kAddressChars = 6000;
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"records.log";
    // The agent appends only to a log that exists.
    qz_support::UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
    const auto write = [&](char letter) {
        const std::string address(kAddressChars, letter);
        for (int round = 0; round < kRounds; ++round) agent::AppendLogRecord(path.c_str(), S_FALSE, address);
    };
    std::thread first(write, 'a');
    std::thread second(write, 'b');
    first.join();
    second.join();

    std::string log;
    if (FILE* file = _wfopen(path.c_str(), L"rb")) {
        char buffer[65536];
        for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) log.append(buffer, read);
        std::fclose(file);
    }
    DeleteFileW(path.c_str());
    int records[2] = {0, 0};
    size_t at = 0;
    while (at + 3 < log.size()) {
        const char letter = log[at + 3];
        if (log.compare(at, 3, "1, ") != 0 || (letter != 'a' && letter != 'b') ||
            log.compare(at + 3, kAddressChars, std::string(kAddressChars, letter)) != 0)
            break;
        ++records[letter - 'a'];
        at += 3 + kAddressChars;
    }
    EXPECT_EQ(at, log.size()) << "a record is broken at byte " << at << " of " << log.size();
    EXPECT_EQ(records[0], kRounds);
    EXPECT_EQ(records[1], kRounds);
}

}  // namespace
}  // namespace sentrel::testing
