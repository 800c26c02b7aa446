// The window notification's pool of window procedures, on real windows of
// this thread: objects that cannot attach, and windows that go without
// their last message reaching the module.
#include "agent/agent_module.h"
#include "agent/browser_notify.h"
#include "tests/wine/figures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace sentrel::testing {
namespace {

using namespace sentrel::agent;

// Records the windows its clicks came from.
class ClickRecorder final : public IMessageSink {
public:
    bool OnMessage(HWND window, UINT message, WPARAM, LPARAM, int, int) override {
        if (message == WM_LBUTTONDOWN) clicks.push_back(window);
        return false;
    }
    bool TryRetainSink() override { return ++references > 0; }
    void ReleaseSink() override { --references; }

    std::vector<HWND> clicks;
    int references = 0;
};

HWND CreateChild(HWND parent) {
    // No WM_PARENTNOTIFY: the parent scans only when the test asks it to.
    return CreateWindowExA(WS_EX_NOPARENTNOTIFY, "STATIC", "", WS_CHILD, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
}

// A later subclasser that keeps WM_NCDESTROY to itself.
LRESULT CALLBACK KeepsTheLastMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto previous = reinterpret_cast<WNDPROC>(GetPropA(window, "Previous"));
    if (message == WM_NCDESTROY) return 0;
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

class NotifyWindowPool : public ::testing::Test {
protected:
    void SetUp() override {
        browser_ = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
        RegisterMessageSink(browser_, &sink_);
        page_ = CreateChild(browser_);
        objects_ = NotifyWindowCount();
        locks_ = ModuleLockCount();
    }
    void TearDown() override {
        DestroyWindow(browser_);
        UnregisterMessageSink(&sink_);
        EXPECT_EQ(sink_.references, 0) << "every reference taken was given back";
    }
    // Live objects and module locks beyond those of the page.
    size_t ExtraObjects() const { return NotifyWindowCount() - objects_; }
    LONG ExtraLocks() const { return ModuleLockCount() - locks_; }

    ClickRecorder sink_;
    HWND browser_ = nullptr;
    HWND page_ = nullptr;
    size_t objects_ = 0;
    LONG locks_ = 0;
};

TEST_F(NotifyWindowPool, WindowsThatWentUnheardGiveTheirProceduresBack) {
    constexpr int kWindows = 3000;
    const auto start = std::chrono::steady_clock::now();
    for (int index = 0; index < kWindows; ++index) {
        const HWND child = CreateChild(page_);
        if (index % 3 == 0) {
            SetPropA(child, "Previous", reinterpret_cast<HANDLE>(GetWindowLongPtrA(child, GWLP_WNDPROC)));
            SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(KeepsTheLastMessage));
        }
        DestroyWindow(child);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const HWND newest = CreateChild(page_);
    SendMessageA(newest, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    ASSERT_FALSE(sink_.clicks.empty());
    EXPECT_EQ(sink_.clicks.back(), newest) << "the newest window still reports its clicks";
    EXPECT_EQ(ExtraObjects(), 1u) << "only the newest window's";
    EXPECT_EQ(ExtraLocks(), 1);

    char line[160];
    std::snprintf(line, sizeof line,
                  "notify windows: %d children made and destroyed (a third unheard) in %.2f s; live objects +%zu, "
                  "module locks %+ld with the newest window",
                  kWindows, seconds, ExtraObjects(), static_cast<long>(ExtraLocks()));
    ReportFigure(line);
}

TEST_F(NotifyWindowPool, WindowsBeyondThePoolLeaveNothingBehind) {
    constexpr int kWindows = 1100;  // more than the pool holds
    for (int index = 0; index < kWindows; ++index) CreateChild(page_);
    const size_t followed = ExtraObjects();
    EXPECT_LT(followed, static_cast<size_t>(kWindows)) << "the pool is used up";
    EXPECT_EQ(ExtraLocks(), static_cast<LONG>(followed)) << "one lock for every attached window, none more";
    // Every scan tries the windows left out again.
    for (int scan = 0; scan < 20; ++scan) SendMessageA(page_, RegisterWindowMessageA("WBCC"), 0, 0);
    EXPECT_EQ(ExtraObjects(), followed);
    EXPECT_EQ(ExtraLocks(), static_cast<LONG>(followed));

    for (HWND child; (child = GetWindow(page_, GW_CHILD)) != nullptr;) DestroyWindow(child);
    EXPECT_EQ(ExtraObjects(), 0u);
    EXPECT_EQ(ExtraLocks(), 0);
    char line[160];
    std::snprintf(line, sizeof line,
                  "notify windows: %d children, %zu followed, 20 scans of the rest: no object or lock added", kWindows,
                  followed);
    ReportFigure(line);
}

}  // namespace
}  // namespace sentrel::testing
