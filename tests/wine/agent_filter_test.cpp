// The agent at work in the test host with the real controller: every
// navigation asked and logged, refusals replaced by the error page, the
// message box or the frame banner, the shell-window rules, reconnection,
// and the popup rules.
#include "tests/wine/agent_fixture.h"
#include "tests/wine/store_sandbox.h"
#include "support/unique_any.h"
#include "tools/browser_host/host_documents.h"
#include "tools/browser_host/message_box_watcher.h"
#include "tools/client/controller_client.h"

#include <exdispid.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace sentrel::testing {
namespace {

using host::BrowserWindow;
using host::EventOutcome;
using qz_support::ComPtr;

std::string Narrow(const std::wstring& text) {
    char buffer[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
    return buffer;
}

class AgentFilter : public AgentTest {
protected:
    static void SetUpTestSuite() {
        AgentTest::SetUpTestSuite();
        UseController(nullptr);
    }
    static void TearDownTestSuite() { RemoveController(); }
    void SetUp() override {
        EmptyAgentLog();
        host::SetKeys(false, false);
    }
    void TearDown() override { host::SetKeys(false, false); }

    // The controller's settings, then a fresh window whose agent uses them.
    std::unique_ptr<BrowserWindow> Open(const std::string& document, const char* windowClass = "IEFrame") {
        UseController(document.c_str());
        return std::make_unique<BrowserWindow>(windowClass);
    }

    host::MessageBoxWatcher boxes_;
};

TEST_F(AgentFilter, EveryQuestionIsLoggedAndRefusalsCancelled) {
    auto window = Open(LockedDocument("allowed.test"));
    host::HostBrowser& browser = window->Browser();
    const EventOutcome allowed = browser.Navigate(L"http://allowed.test/a");
    EXPECT_EQ(allowed.result, S_OK);
    EXPECT_FALSE(allowed.cancelled);
    const EventOutcome refused = browser.Navigate(L"http://refused.test/b");
    EXPECT_EQ(refused.result, S_OK);
    EXPECT_TRUE(refused.cancelled);
    window.reset();
    EXPECT_EQ(ReadAgentLog(), "0, http://allowed.test/a1, http://refused.test/b");
    ASSERT_EQ(boxes_.Take().size(), 1u);
}

TEST_F(AgentFilter, ARefusedPageEndsOnTheErrorPage) {
    auto window = Open(LockedDocument("allowed.test", "http://errors.test/refused.htm"));
    host::HostBrowser& browser = window->Browser();
    browser.SetLocation(L"http://allowed.test/");
    EXPECT_TRUE(browser.Navigate(L"http://refused.test/").cancelled);
    ASSERT_EQ(browser.Navigate2Calls().size(), 1u);
    EXPECT_EQ(browser.Navigate2Calls()[0], L"http://errors.test/refused.htm");
    qz_support::UniqueBstr location;
    browser.get_LocationURL(location.put());
    EXPECT_STREQ(location.get(), L"http://errors.test/refused.htm") << "the error page passed the filter";
    EXPECT_EQ(ReadAgentLog(), "1, http://refused.test/0, http://errors.test/refused.htm");
    EXPECT_TRUE(boxes_.Take().empty());
}

TEST_F(AgentFilter, WithoutAnErrorPageEachRefusalShowsTheMessageBox) {
    auto window = Open(LockedDocument("allowed.test"));
    host::HostBrowser& browser = window->Browser();
    browser.SetLocation(L"http://allowed.test/");
    for (int refusal = 0; refusal < 2; ++refusal) {
        EXPECT_TRUE(browser.Navigate(L"http://refused.test/").cancelled);
        const auto seen = boxes_.Take();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, L"Site Not Allowed by Sentrel");
        EXPECT_EQ(seen[0].caption, L"Sentrel");
        EXPECT_TRUE(seen[0].stopIcon);
    }
    qz_support::UniqueBstr location;
    browser.get_LocationURL(location.put());
    EXPECT_STREQ(location.get(), L"http://allowed.test/") << "the window stays on its page";
    EXPECT_TRUE(browser.Navigate2Calls().empty());
}

TEST_F(AgentFilter, ARefusedFrameIsReplacedByTheBanner) {
    auto window = Open(LockedDocument("allowed.test", "http://errors.test/refused.htm"));
    const auto document = host::HtmlDocument::Create();
    document->AddElement(L"content");
    window->Browser().SetDocument(ComPtr<IDispatch>::Copy(document.get()));

    EXPECT_FALSE(window->Browser().NavigateFrame(L"content", L"http://allowed.test/frame").cancelled);
    EXPECT_TRUE(window->Browser().NavigateFrame(L"content", L"http://refused.test/frame").cancelled);
    EXPECT_TRUE(window->Browser().NavigateFrame(L"nested", L"http://refused.test/other").cancelled)
        << "a frame not found is only cancelled";

    wchar_t shortPath[MAX_PATH] = {};
    GetShortPathNameW(AgentLibrary().c_str(), shortPath, MAX_PATH);
    ASSERT_EQ(document->Replaced().size(), 1u);
    EXPECT_EQ(document->Replaced()[0].name, L"content");
    EXPECT_EQ(document->Replaced()[0].outerHtml,
              std::wstring(L"<CENTER><IMG SRC=\"res://") + shortPath + L"/LOCKED.GIF\">Blocked by Sentrel</CENTER>");
    EXPECT_TRUE(window->Browser().Navigate2Calls().empty()) << "no error page for frames";
    EXPECT_TRUE(boxes_.Take().empty()) << "no message box for frames";
}

TEST_F(AgentFilter, ShellWindowsRefuseBareWordsUnlessInsideAZipFolder) {
    struct Case {
        const char* windowClass;
        std::vector<std::wstring> folders;  // shown folder first
        const wchar_t* address;
        bool cancelled;
    };
    const Case cases[] = {
        {"IEFrame", {}, L"intranet", false},
        {"CabinetWClass", {L"Documents", L"C:"}, L"intranet", true},
        {"explorewclass", {L"Documents"}, L"intranet", true},
        {"Explorer", {}, L"Intranet2", true},
        {"Cabine", {}, L"intranet", false},
        {"CabinetWClass", {L"Documents"}, L"intranet.test", false},
        {"CabinetWClass", {L"Documents"}, L"", true},
        {"CabinetWClass", {L"inner", L"ARCHIVE.ZIP", L"C:"}, L"intranet", false},
        {"CabinetWClass", {L"inner", L"ARCHIVE.ZIP"}, L"http://refused.test/", false},
        {"CabinetWClass", {L".zip"}, L"intranet", true},
        // A view whose folder cannot be read: still asked, and refused.
        {"CabinetWClass", {host::HostFolderView::kUnreadable}, L"http://refused.test/", true},
    };
    UseController(LockedDocument("allowed.test intranet", "", false).c_str());
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.windowClass) + " " + Narrow(test.address));
        EmptyAgentLog();
        BrowserWindow window(test.windowClass);
        if (!test.folders.empty())
            window.Browser().SetDocument(ComPtr<IDispatch>::Copy(host::HostFolderView::Create(test.folders).get()));
        EXPECT_EQ(window.Browser().Navigate(test.address).cancelled, test.cancelled);
        boxes_.Take();
        const std::string log = ReadAgentLog();
        EXPECT_EQ(log.substr(log.find(',') + 2), Narrow(test.address)) << "asked and logged: " << log;
    }
}

// The same addresses through the agent under both matching rules: today's
// rule lets look-alikes and wrapped or network addresses through; whole-host
// matching refuses them and keeps what the entry names.
TEST_F(AgentFilter, WholeHostMatchingRefusesWhatTheSubstringRuleLetsThrough) {
    const struct {
        const wchar_t* address;
        bool cancelledBySubstring, cancelledByDomain;
    } cases[] = {
        {L"http://www.allowed.test/", false, false},
        {L"http://ALLOWED.test./", true, false},
        {L"http://allowed.test.attacker.test/", false, true},
        {L"view-source:http://refused.test/", true, true},
        {L"\\\\refused.test\\share\\x.htm", false, true},
        {L"file://refused.test/x.htm", false, true},
    };
    for (const bool domain : {false, true}) {
        std::string document = LockedDocument("allowed.test");
        if (domain) document.insert(document.find(' '), " hostMatching=\"domain\"");
        auto window = Open(document);
        for (const auto& test : cases) {
            EXPECT_EQ(window->Browser().Navigate(test.address).cancelled,
                      domain ? test.cancelledByDomain : test.cancelledBySubstring)
                << Narrow(test.address) << (domain ? " (domain)" : " (substring)");
            boxes_.Take();
        }
    }
}

// Under whole-host matching an error page on a network path is judged by its
// server, which the list refuses here: it is shown all the same. An error
// page the controller refuses whatever the list says (a device path) is
// never navigated to, so the refusals cannot chase each other: the message
// box comes instead.
TEST_F(AgentFilter, TheErrorPageIsShownOnlyWhenTheControllerAllowsIt) {
    const struct {
        const char* errorPage;
        bool shown;
    } cases[] = {{"\\\\files.test\\share\\blocked.htm", true}, {"\\\\.\\pipe\\blocked", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errorPage);
        std::string document = LockedDocument("allowed.test", c.errorPage);
        document.insert(document.find(' '), " hostMatching=\"domain\"");
        auto window = Open(document);
        host::HostBrowser& browser = window->Browser();
        browser.SetLocation(L"http://allowed.test/");
        EXPECT_TRUE(browser.Navigate(L"\\\\refused.test\\share\\x.htm").cancelled);
        const std::wstring page(c.errorPage, c.errorPage + strlen(c.errorPage));
        qz_support::UniqueBstr location;
        browser.get_LocationURL(location.put());
        const auto seen = boxes_.Take();
        if (c.shown) {
            EXPECT_EQ(browser.Navigate2Calls(), std::vector<std::wstring>{page});
            EXPECT_EQ(location.get(), page) << "the error page passed the filter";
            EXPECT_TRUE(seen.empty());
        } else {
            EXPECT_TRUE(browser.Navigate2Calls().empty());
            EXPECT_STREQ(location.get(), L"http://allowed.test/");
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0].text, L"Site Not Allowed by Sentrel");
        }
    }
}

// Navigations that arrive somewhere other than where they were asked to go
// (an open redirector on an allowed host): the arrival is asked about too and
// a refused one is replaced as at BeforeNavigate2, by the error page at the
// top and the banner in a frame. An arrival where it was asked is not asked
// about twice.
TEST_F(AgentFilter, ARedirectToARefusedHostIsReplaced) {
    auto window = Open(LockedDocument("allowed.test", "http://errors.test/refused.htm"));
    host::HostBrowser& browser = window->Browser();
    EXPECT_FALSE(browser.Navigate(L"http://allowed.test/go?to=x", L"http://www.allowed.test/x").cancelled);
    EXPECT_TRUE(browser.Navigate2Calls().empty()) << "an allowed arrival stays";
    EXPECT_FALSE(browser.Navigate(L"http://allowed.test/go?to=y", L"http://refused.test/y").cancelled);
    EXPECT_EQ(browser.Navigate2Calls(), std::vector<std::wstring>{L"http://errors.test/refused.htm"});
    qz_support::UniqueBstr location;
    browser.get_LocationURL(location.put());
    EXPECT_STREQ(location.get(), L"http://errors.test/refused.htm");

    const auto document = host::HtmlDocument::Create();
    document->AddElement(L"content");
    browser.SetDocument(ComPtr<IDispatch>::Copy(document.get()));
    EXPECT_FALSE(browser.NavigateFrame(L"content", L"http://allowed.test/frame", L"http://refused.test/frame").cancelled);
    ASSERT_EQ(document->Replaced().size(), 1u);
    EXPECT_EQ(document->Replaced()[0].name, L"content");
    EXPECT_TRUE(boxes_.Take().empty());
    window.reset();
    EXPECT_EQ(ReadAgentLog(),
              "0, http://allowed.test/go?to=x0, http://www.allowed.test/x"
              "0, http://allowed.test/go?to=y1, http://refused.test/y0, http://errors.test/refused.htm"
              "0, http://allowed.test/frame1, http://refused.test/frame");
}

// The log cannot be opened for appending. (A folder stands in its place:
// the tests run as root, for whom a read-only file is still writable.)
TEST_F(AgentFilter, ALogThatCannotBeWrittenChangesNoDecision) {
    RemoveAgentLog();
    ASSERT_TRUE(CreateDirectoryA("C:\\Sentrel.log", nullptr));
    auto window = Open(LockedDocument("allowed.test"));
    EXPECT_FALSE(window->Browser().Navigate(L"http://allowed.test/").cancelled);
    EXPECT_TRUE(window->Browser().Navigate(L"http://refused.test/").cancelled);
    EXPECT_EQ(boxes_.Take().size(), 1u);
    EXPECT_TRUE(RemoveDirectoryA("C:\\Sentrel.log"));
}

TEST_F(AgentFilter, AnEndedControllerIsReconnectedAndAskedAgain) {
    auto window = Open(LockedDocument("allowed.test"));
    EXPECT_FALSE(window->Browser().Navigate(L"http://allowed.test/").cancelled);
    client::EndControllers();
    client::RunProgram(L"net stop rpcss");  // forget the ended server (the agent does nothing of the kind)
    EmptyAgentLog();
    EXPECT_TRUE(window->Browser().Navigate(L"http://refused.test/").cancelled) << "the new controller's answer";
    EXPECT_EQ(ReadAgentLog(), "1, http://refused.test/");
    EXPECT_EQ(client::ControllerProcesses().size(), 1u);
    boxes_.Take();

    // Both the call and the reconnection fail: allowed, the failure logged.
    // Each later navigation tries again, and the window is filtered again
    // as soon as a controller answers.
    RemoveController();
    for (const wchar_t* address : {L"http://refused.test/", L"http://refused.test/again"}) {
        EmptyAgentLog();
        EXPECT_FALSE(window->Browser().Navigate(address).cancelled);
        const std::string log = ReadAgentLog();
        EXPECT_EQ(log.substr(0, 1), "-") << log;
        EXPECT_NE(log.find(", " + Narrow(address)), std::string::npos) << log;
    }
    UseController(LockedDocument("allowed.test").c_str());
    EmptyAgentLog();
    EXPECT_TRUE(window->Browser().Navigate(L"http://refused.test/").cancelled) << "filtered again";
    EXPECT_EQ(ReadAgentLog(), "1, http://refused.test/");
    EXPECT_FALSE(window->Browser().Navigate(L"http://allowed.test/").cancelled);
    boxes_.Take();
    window.reset();
    UseController(nullptr);
}

// The machine's "FailClosed": what no controller answered is refused as the
// controller would refuse it, and a controller class in the user's hive is
// never used.
TEST_F(AgentFilter, FailClosedRefusesWhatNoControllerAnswered) {
    const testing::MachinePolicyScope failClosed(kFailClosedPolicy, 1);
    auto window = Open(LockedDocument("allowed.test", "http://errors.test/refused.htm"));
    const auto document = host::HtmlDocument::Create();
    document->AddElement(L"content");
    window->Browser().SetDocument(ComPtr<IDispatch>::Copy(document.get()));
    EXPECT_FALSE(window->Browser().Navigate(L"http://allowed.test/").cancelled) << "answered";

    RemoveController();
    EmptyAgentLog();
    EXPECT_TRUE(window->Browser().Navigate(L"http://allowed.test/").cancelled);
    const auto seen = boxes_.Take();
    ASSERT_EQ(seen.size(), 1u) << "no error page is known without a controller";
    EXPECT_EQ(seen[0].text, L"Site Not Allowed by Sentrel");
    EXPECT_TRUE(window->Browser().Navigate2Calls().empty());
    const std::string log = ReadAgentLog();
    EXPECT_EQ(log.substr(0, 1), "-") << "the failure is logged: " << log;
    EXPECT_TRUE(window->Browser().NavigateFrame(L"content", L"http://allowed.test/frame").cancelled);
    EXPECT_EQ(document->Replaced().size(), 1u) << "the frame gets the banner";
    EXPECT_TRUE(window->Browser().NewWindow().cancelled) << "no popup without an answer";

    // A class of the user's own, with the machine's controller back.
    UseController(LockedDocument("allowed.test").c_str());
    const std::string userClass = std::string("Software\\Classes\\CLSID\\") + kControllerClsidText;
    qz_support::UniqueHkey created;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, userClass.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              created.put(), nullptr),
              ERROR_SUCCESS);
    // Also when the user made the key unreadable to hide it.
    for (const wchar_t* access : {L"D:(A;;KA;;;WD)", L"D:(D;;KR;;;WD)(A;;KA;;;WD)"}) {
        testing::SetKeyAccess(created.get(), access);
        EmptyAgentLog();
        EXPECT_TRUE(window->Browser().Navigate(L"http://allowed.test/").cancelled);
        EXPECT_EQ(ReadAgentLog(), std::to_string(static_cast<int>(E_ACCESSDENIED)) + ", http://allowed.test/");
        boxes_.Take();
    }
    testing::SetKeyAccess(created.get(), L"D:(A;;KA;;;WD)");
    RegDeleteTreeA(HKEY_CURRENT_USER, userClass.c_str());
    EXPECT_FALSE(window->Browser().Navigate(L"http://allowed.test/").cancelled) << "the machine's controller answers";

}

// The policy changes while the window is open: each next navigation obeys
// the policy as it is then.
TEST_F(AgentFilter, FailClosedTakesEffectInAnOpenWindow) {
    auto window = Open(LockedDocument("allowed.test"));
    EXPECT_FALSE(window->Browser().Navigate(L"http://allowed.test/").cancelled) << "answered";
    RemoveController();
    auto setPolicy = [](DWORD value) {
        testing::CreateKey(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath);
        ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kMachinePolicyKeyPath, kFailClosedPolicy, REG_DWORD, &value,
                                  sizeof value),
                  ERROR_SUCCESS);
    };
    auto removePolicies = [] { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Corvantis"); };
    struct Step {
        const char* change;
        std::function<void()> make;
        bool refused;
    };
    const Step steps[] = {
        {"no policy", [] {}, false},
        {"FailClosed set to 1", [&] { setPolicy(1); }, true},
        {"set to 0", [&] { setPolicy(0); }, false},
        {"set to 1 again", [&] { setPolicy(1); }, true},
        {"policies key removed", removePolicies, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.change);
        step.make();
        EmptyAgentLog();
        EXPECT_EQ(window->Browser().Navigate(L"http://allowed.test/page").cancelled, step.refused);
        EXPECT_EQ(boxes_.Take().size(), step.refused ? 1u : 0u);
        EXPECT_EQ(ReadAgentLog().substr(0, 1), "-") << "no controller answered";
    }
    removePolicies();
    window.reset();
    UseController(nullptr);
}

// The new-window rules, each case in a fresh window.
TEST_F(AgentFilter, NewWindowsOpenOnlyWhenTheUserAskedForThem) {
    struct Case {
        const char* name;
        bool blockPopups;
        std::function<void(BrowserWindow&)> before;
        bool opened;
    };
    auto navigate = [](const wchar_t* url) { return [url](BrowserWindow& w) { w.Browser().Navigate(url); }; };
    auto click = [](BrowserWindow& w) { SendMessageA(w.Page(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5)); };
    const Case cases[] = {
        {"a fresh agent's first new window", true, [](BrowserWindow&) {}, true},
        {"a page's own popup", true, navigate(L"http://allowed.test/"), false},
        {"with Ctrl held", true,
         [&](BrowserWindow& w) {
             navigate(L"http://allowed.test/")(w);
             host::SetKeys(false, true);
         },
         true},
        {"from a secure page", true,
         [&](BrowserWindow& w) {
             navigate(L"http://allowed.test/")(w);
             w.Browser().SetLocation(L"https://allowed.test/");
         },
         true},
        {"from an upper-case HTTPS page", true,
         [&](BrowserWindow& w) {
             navigate(L"http://allowed.test/")(w);
             w.Browser().SetLocation(L"HTTPS://allowed.test/");
         },
         false},
        {"from a page with no address", true,
         [&](BrowserWindow& w) {
             navigate(L"http://allowed.test/")(w);
             w.Browser().SetLocation(L"");
         },
         false},
        {"when the controller allows popups", false, navigate(L"http://allowed.test/"), true},
        {"right after a click", true,
         [&](BrowserWindow& w) {
             navigate(L"http://allowed.test/")(w);
             click(w);
         },
         true},
        {"after a click used up by a navigation", true,
         [&](BrowserWindow& w) {
             click(w);
             navigate(L"http://allowed.test/next")(w);
         },
         false},
        {"after a click on a script link", true,
         [&](BrowserWindow& w) {
             navigate(L"http://allowed.test/")(w);
             click(w);
             navigate(L"javascript:open()")(w);
         },
         true},
        {"300 ms after a click", true,
         [&](BrowserWindow& w) {
             navigate(L"http://allowed.test/")(w);
             click(w);
             host::PumpMessages(300);
         },
         false},
        {"after a Shift+click", true,
         [&](BrowserWindow& w) {
             navigate(L"http://allowed.test/")(w);
             host::SetKeys(true, false);
             click(w);
             host::SetKeys(false, false);
         },
         true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        UseController(LockedDocument("allowed.test", "", false, test.blockPopups).c_str());
        BrowserWindow window("IEFrame");
        test.before(window);
        EXPECT_EQ(!window.Browser().NewWindow().cancelled, test.opened);
        host::SetKeys(false, false);
    }
}

TEST_F(AgentFilter, AScriptLinkLetsExactlyOneWindowThrough) {
    auto window = Open(LockedDocument("allowed.test"));
    window->Browser().Navigate(L"http://allowed.test/");
    SendMessageA(window->Page(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    window->Browser().Navigate(L"vbscript:window.open()");
    EXPECT_FALSE(window->Browser().NewWindow().cancelled);
    EXPECT_TRUE(window->Browser().NewWindow().cancelled);
}

TEST_F(AgentFilter, TheLaterNewWindowEventGetsNoAnswer) {
    auto window = Open(LockedDocument("allowed.test"));
    window->Browser().Navigate(L"http://allowed.test/");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT arguments[5];
    for (VARIANT& argument : arguments) VariantInit(&argument);
    V_VT(&arguments[3]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&arguments[3]) = &cancel;
    DISPPARAMS params{arguments, nullptr, 5, 0};
    EXPECT_EQ(window->Browser().FireRaw(DISPID_NEWWINDOW3, &params), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(cancel, VARIANT_FALSE);
}

TEST_F(AgentFilter, AClickTimerOutlivingItsAgentTouchesNothing) {
    auto window = Open(LockedDocument("allowed.test"));
    SendMessageA(window->Page(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    window.reset();
    host::PumpMessages(400);  // the timer fires with its agent gone
    auto next = Open(LockedDocument("allowed.test"));
    next->Browser().Navigate(L"http://allowed.test/");
    EXPECT_TRUE(next->Browser().NewWindow().cancelled);
}

}  // namespace
}  // namespace sentrel::testing
