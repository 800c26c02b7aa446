// The browser's context menu for a link, driven as a person drives it from
// outside the browser's thread: a right click on the page, then a letter or
// a key while the menu is open. "Open in New Window" is the user's own
// choice and opens once; the page's next popup is refused again. Menu
// messages that another program forges let no more through than the menu.
#include "tests/wine/agent_fixture.h"
#include "tools/browser_host/link_menu.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sentrel::testing {
namespace {

using host::BrowserWindow;

constexpr const wchar_t* kPage = L"http://allowed.test/";
constexpr const wchar_t* kLink = L"http://allowed.test/linked.htm";

// A browser window on a thread of its own (the menu holds its thread while
// it is open), showing an allowed page with a link on it.
class LinkPage : public host::BrowserThread {
public:
    LinkPage()
        : host::BrowserThread([] {
              auto window = std::make_unique<BrowserWindow>("IEFrame");
              window->Browser().Navigate(kPage);  // spends the fresh agent's first window
              window->SetLink(kLink);
              return window;
          }) {
        Do([this](BrowserWindow& window) { page_ = window.Page(); });
        thread_ = GetWindowThreadProcessId(page_, nullptr);
    }

    HWND Page() const { return page_; }

    // Right-clicks the link and waits for its menu; null when none opened.
    HWND RightClickLink() const {
        host::RightClick(page_);
        return WaitForMenu(true);
    }
    // Waits for the menu of the page's thread to open or to close.
    HWND WaitForMenu(bool open) const {
        for (int waited = 0; waited < 5000; waited += 10) {
            const HWND menu = host::OpenMenuOf(thread_);
            if ((menu != nullptr) == open) return menu;
            Sleep(10);
        }
        return host::OpenMenuOf(thread_);
    }

    // The page opens `count` popups of its own; whether each opened.
    std::vector<bool> PagePopups(int count) {
        std::vector<bool> opened;
        Do([&](BrowserWindow& window) {
            for (int i = 0; i < count; ++i) opened.push_back(!window.Browser().NewWindow().cancelled);
        });
        return opened;
    }
    std::vector<std::wstring> OpenedWindows() {
        std::vector<std::wstring> opened;
        Do([&](BrowserWindow& window) { opened = window.Browser().OpenedWindows(); });
        return opened;
    }
    std::vector<std::wstring> Navigations() {
        std::vector<std::wstring> calls;
        Do([&](BrowserWindow& window) { calls = window.Browser().Navigate2Calls(); });
        return calls;
    }

private:
    HWND page_ = nullptr;
    DWORD thread_ = 0;
};

class AgentMenu : public AgentTest {
protected:
    static void SetUpTestSuite() {
        AgentTest::SetUpTestSuite();
        UseController(LockedDocument("allowed.test").c_str());
    }
    static void TearDownTestSuite() { RemoveController(); }
};

TEST_F(AgentMenu, OpenInNewWindowOpensTheLinkOnceAndThePagesNextPopupIsRefused) {
    LinkPage page;
    EXPECT_EQ(page.PagePopups(1), std::vector<bool>{false}) << "the page's own popup";

    const HWND menu = page.RightClickLink();
    ASSERT_NE(menu, nullptr) << "the link menu opened";
    host::TypeLetter(menu, L'n');
    EXPECT_EQ(page.WaitForMenu(false), nullptr) << "the menu closed";
    EXPECT_EQ(page.OpenedWindows(), std::vector<std::wstring>{kLink}) << "the user's choice opened";
    EXPECT_EQ(page.PagePopups(2), (std::vector<bool>{false, false})) << "and nothing after it";

    // Chosen again: again one window.
    host::TypeLetter(page.RightClickLink(), L'n');
    page.WaitForMenu(false);
    EXPECT_EQ(page.OpenedWindows().size(), 2u);
    EXPECT_EQ(page.PagePopups(1), std::vector<bool>{false});
}

TEST_F(AgentMenu, AMenuClosedWithoutItsNewWindowCommandLetsNothingThrough) {
    struct Case {
        const char* name;
        std::function<void(HWND menu)> close;
    };
    const Case cases[] = {
        {"Escape", [](HWND menu) { host::PressKey(menu, VK_ESCAPE); }},
        {"Open", [](HWND menu) { host::TypeLetter(menu, L'o'); }},
        {"Copy Shortcut", [](HWND menu) { host::TypeLetter(menu, L't'); }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LinkPage page;
        const HWND menu = page.RightClickLink();
        ASSERT_NE(menu, nullptr);
        test.close(menu);
        ASSERT_EQ(page.WaitForMenu(false), nullptr);
        EXPECT_TRUE(page.OpenedWindows().empty());
        EXPECT_EQ(page.PagePopups(1), std::vector<bool>{false});
    }
}

// Another program sends the page menu messages of its own making. A command
// that no opened menu offered opens nothing; a forged menu with the item and
// its command let one window through, as the real menu would, and its
// command counts once.
TEST_F(AgentMenu, ForgedMenuMessagesLetNoMoreThroughThanTheMenu) {
    constexpr UINT kForgedCommand = 77;
    const qz_support::UniqueHmenu forged(CreatePopupMenu());
    AppendMenuW(forged.get(), MF_STRING, kForgedCommand, L"Open In &New Window");
    const qz_support::UniqueHmenu other(CreatePopupMenu());
    AppendMenuW(other.get(), MF_STRING, kForgedCommand, L"&Open");
    auto popup = [](HMENU menu, bool windowMenu = false) {
        return [=](HWND page) {
            SendMessageW(page, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, windowMenu ? 1 : 0));
        };
    };
    auto command = [](UINT id, LPARAM control = 0, WORD code = 0) {
        return [=](HWND page) { SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, code), control); };
    };
    struct Case {
        const char* name;
        std::vector<std::function<void(HWND page)>> sent;
        std::vector<bool> popups;  // the page's next two popups
        size_t linksOpened;
    };
    const Case cases[] = {
        {"the link command with no menu", {command(host::kOpenLinkInNewWindowCommand)}, {false, false}, 0},
        {"a forged menu and its command", {popup(forged.get()), command(kForgedCommand)}, {true, false}, 0},
        {"its command twice", {popup(forged.get()), command(kForgedCommand), command(kForgedCommand)}, {true, false},
         0},
        {"another command of the menu", {popup(forged.get()), command(kForgedCommand + 1)}, {false, false}, 0},
        {"a menu without the item", {popup(other.get()), command(kForgedCommand)}, {false, false}, 0},
        {"as a window menu", {popup(forged.get(), true), command(kForgedCommand)}, {false, false}, 0},
        {"as a control's notification",
         {popup(forged.get()), command(kForgedCommand, reinterpret_cast<LPARAM>(GetDesktopWindow()), BN_CLICKED)},
         {false, false},
         0},
        {"as an accelerator", {popup(forged.get()), command(kForgedCommand, 0, 1)}, {false, false}, 0},
        {"a handle that is no menu",
         {popup(reinterpret_cast<HMENU>(static_cast<INT_PTR>(0x4321))), command(kForgedCommand)},
         {false, false},
         0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        LinkPage page;
        for (const auto& send : test.sent) send(page.Page());
        EXPECT_EQ(page.PagePopups(2), test.popups);
        EXPECT_EQ(page.OpenedWindows().size(), test.linksOpened);
    }
}

}  // namespace
}  // namespace sentrel::testing
