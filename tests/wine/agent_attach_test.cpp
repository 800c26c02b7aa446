// The agent in a browser window of the test host: attaching through its
// site, hearing the browser's events, detaching on OnQuit; and the window
// notification that follows the browser's child windows.
#include "agent/agent_module.h"
#include "tests/wine/agent_fixture.h"
#include "support/unique_any.h"
#include "tools/browser_host/host_documents.h"

#include <exdispid.h>

#include <functional>
#include <memory>

namespace sentrel::testing {
namespace {

using host::BrowserWindow;
using host::HostBrowser;
using qz_support::ComPtr;

UINT ChildScanMessage() {
    return RegisterWindowMessageA("WBCC");
}

HWND CreateChild(HWND parent, const char* className = "STATIC") {
    return CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent, nullptr, nullptr, nullptr);
}

bool Subclassed(HWND window) {
    return SendMessageA(window, ChildScanMessage(), 0, 0) == 1;
}

ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class AgentAttach : public AgentTest {
protected:
    static void SetUpTestSuite() {
        AgentTest::SetUpTestSuite();
        UseController(nullptr);
    }
    static void TearDownTestSuite() { RemoveController(); }
};

TEST_F(AgentAttach, AttachesOnceAndDetachesOnQuit) {
    BrowserWindow window("IEFrame");
    ASSERT_EQ(window.Helpers().size(), 1u);
    EXPECT_EQ(window.SetSiteResults()[0], S_OK);
    HostBrowser& browser = window.Browser();
    EXPECT_EQ(browser.AdviseCount(), 1u);
    EXPECT_EQ(browser.SinkCount(), 1u);

    const auto& agent = window.Helpers()[0];
    // SetSite(null) changes nothing: still attached, still hearing events.
    EXPECT_EQ(agent->SetSite(nullptr), S_OK);
    EXPECT_EQ(browser.SinkCount(), 1u);
    EXPECT_TRUE(Subclassed(window.Page()));

    void* site = reinterpret_cast<void*>(1);
    EXPECT_EQ(agent->GetSite(IID_IUnknown, &site), E_FAIL);
    EXPECT_EQ(site, nullptr);
    EXPECT_EQ(agent->GetSite(IID_IUnknown, nullptr), E_POINTER);

    const ULONG attached = References(static_cast<IWebBrowser2*>(&browser));
    EXPECT_EQ(browser.FireQuit(), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(browser.UnadviseCount(), 1u);
    EXPECT_EQ(browser.SinkCount(), 0u);
    EXPECT_EQ(References(static_cast<IWebBrowser2*>(&browser)), attached - 2)
        << "the agent let go of its browser and of the event connection";
    EXPECT_FALSE(Subclassed(CreateChild(window.Window()))) << "no hook after the last window quit";
}

TEST_F(AgentAttach, QuitDetachesEvenWhenTheBrowserWindowCannotBeRead) {
    BrowserWindow window("IEFrame");
    HostBrowser& browser = window.Browser();
    ASSERT_TRUE(Subclassed(window.Page()));
    const ULONG attached = References(static_cast<IWebBrowser2*>(&browser));
    browser.FailWindowQueries();
    browser.FireQuit();
    EXPECT_EQ(browser.UnadviseCount(), 1u);
    EXPECT_EQ(References(static_cast<IWebBrowser2*>(&browser)), attached - 2);
    EXPECT_FALSE(Subclassed(CreateChild(window.Window()))) << "unregistered: no hook left";
}

TEST_F(AgentAttach, SitesWithoutTheBrowserServicesLeaveTheAgentUnattached) {
    struct Case {
        const char* name;
        host::SiteOptions options;
    };
    for (const Case& test : {Case{"no command target", {false, true}}, Case{"no service provider", {true, false}}}) {
        SCOPED_TRACE(test.name);
        BrowserWindow window("IEFrame", test.options);
        ASSERT_EQ(window.Helpers().size(), 1u);
        EXPECT_EQ(window.SetSiteResults()[0], S_OK);
        EXPECT_EQ(window.Browser().AdviseCount(), 0u);
        EXPECT_FALSE(Subclassed(window.Page()));
    }
}

TEST_F(AgentAttach, ASecondSiteReplacesTheFirstConnection) {
    BrowserWindow first("IEFrame");
    BrowserWindow second("IEFrame");
    const auto& agent = first.Helpers()[0];
    const ComPtr<IUnknown> site = host::CreateSite(ComPtr<HostBrowser>::Copy(&second.Browser()));
    EXPECT_EQ(agent->SetSite(site.get()), S_OK);
    EXPECT_EQ(first.Browser().SinkCount(), 0u) << "the first connection is undone";
    EXPECT_EQ(second.Browser().SinkCount(), 2u) << "its own agent and the moved one";
}

TEST_F(AgentAttach, OnlyTheThreeBrowserEventsAreAnswered) {
    BrowserWindow window("IEFrame");
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (DISPID id : {DISPID_DOCUMENTCOMPLETE, DISPID_NEWWINDOW3, DISPID_NAVIGATECOMPLETE2, 0, -1, 252, 254}) {
        EXPECT_EQ(window.Browser().FireRaw(id, &none), DISP_E_MEMBERNOTFOUND) << id;
    }
    EXPECT_EQ(window.Browser().SinkCount(), 1u);
}

// Arguments a broken browser might send: the agent refuses them with an
// error and its error information, and the host carries on.
TEST_F(AgentAttach, BrokenEventArgumentsGiveAnErrorAndNoCrash) {
    BrowserWindow window("IEFrame");
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT arguments[7];
    auto reset = [&] {
        for (VARIANT& argument : arguments) {
            VariantInit(&argument);
            V_VT(&argument) = VT_I4;
        }
    };
    struct Case {
        const char* name;
        DISPID id;
        std::function<DISPPARAMS()> make;
    };
    const Case cases[] = {
        {"BeforeNavigate2 without arguments", DISPID_BEFORENAVIGATE2, [&] { return DISPPARAMS{nullptr, nullptr, 0, 0}; }},
        {"BeforeNavigate2, address not a string", DISPID_BEFORENAVIGATE2,
         [&] {
             reset();
             V_VT(&arguments[0]) = VT_BOOL | VT_BYREF;
             V_BOOLREF(&arguments[0]) = &cancel;
             return DISPPARAMS{arguments, nullptr, 7, 0};
         }},
        {"BeforeNavigate2, Cancel not by reference", DISPID_BEFORENAVIGATE2,
         [&] {
             reset();
             V_VT(&arguments[5]) = VT_BSTR;
             V_BSTR(&arguments[5]) = nullptr;
             return DISPPARAMS{arguments, nullptr, 7, 0};
         }},
        {"BeforeNavigate2, null address reference", DISPID_BEFORENAVIGATE2,
         [&] {
             reset();
             V_VT(&arguments[5]) = VT_VARIANT | VT_BYREF;
             V_VARIANTREF(&arguments[5]) = nullptr;
             V_VT(&arguments[0]) = VT_BOOL | VT_BYREF;
             V_BOOLREF(&arguments[0]) = &cancel;
             return DISPPARAMS{arguments, nullptr, 7, 0};
         }},
        {"NewWindow2 with one argument", DISPID_NEWWINDOW2,
         [&] {
             reset();
             V_VT(&arguments[0]) = VT_BOOL | VT_BYREF;
             V_BOOLREF(&arguments[0]) = &cancel;
             return DISPPARAMS{arguments, nullptr, 1, 0};
         }},
        {"NewWindow2, null Cancel", DISPID_NEWWINDOW2,
         [&] {
             reset();
             V_VT(&arguments[0]) = VT_BOOL | VT_BYREF;
             V_BOOLREF(&arguments[0]) = nullptr;
             return DISPPARAMS{arguments, nullptr, 2, 0};
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        DISPPARAMS params = test.make();
        SetErrorInfo(0, nullptr);
        EXPECT_EQ(window.Browser().FireRaw(test.id, &params), DISP_E_MEMBERNOTFOUND);
        ComPtr<IErrorInfo> info;
        ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
        qz_support::UniqueBstr description;
        info->GetDescription(description.put());
        EXPECT_TRUE(description && SysStringLen(description.get()) > 0);
        EXPECT_EQ(cancel, VARIANT_FALSE);
    }
    ComPtr<IDispatch> sink = window.Helpers()[0].query<IDispatch>();
    EXPECT_EQ(sink->Invoke(DISPID_NEWWINDOW2, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_FALSE(window.Browser().NewWindow().cancelled) << "the agent still works";
}

TEST_F(AgentAttach, ChildWindowsBelowTheBrowserWindowAreFollowed) {
    BrowserWindow window("IEFrame");
    const HWND page = window.Page();
    EXPECT_TRUE(Subclassed(page)) << "a child created after attachment";
    EXPECT_TRUE(Subclassed(CreateChild(CreateChild(page)))) << "a grandchild's child";

    const HWND other = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(Subclassed(other)) << "a top-level window on the browser thread";
    EXPECT_FALSE(Subclassed(CreateChild(other))) << "a child of an unregistered window";
    const HWND ordinary = CreateChild(other);
    EXPECT_EQ(SendMessageA(ordinary, ChildScanMessage(), 0, 0), 0);
    DestroyWindow(other);

    // A click reaches the window's own procedure unchanged.
    SendMessageA(page, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(17, 23));
    const auto clicks = host::PageClicks(page);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].wParam, static_cast<WPARAM>(MK_LBUTTON | MK_SHIFT));
    EXPECT_EQ(clicks[0].lParam, MAKELPARAM(17, 23));
}

LRESULT CALLBACK RecordingUnicodeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) SetPropW(window, L"SawWideText", reinterpret_cast<HANDLE>(
                                            lParam && std::wstring(reinterpret_cast<const wchar_t*>(lParam)) == L"\u4E2D\u6587"));
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(AgentAttach, UnicodeWindowsStayUnicodeWhileFollowed) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecordingUnicodeProcedure;
    windowClass.lpszClassName = L"SentrelWideChild";
    RegisterClassW(&windowClass);
    BrowserWindow window("IEFrame");
    const HWND child = CreateWindowExW(0, L"SentrelWideChild", L"", WS_CHILD, 0, 0, 10, 10, window.Page(), nullptr,
                                       nullptr, nullptr);
    ASSERT_TRUE(Subclassed(child));
    EXPECT_TRUE(IsWindowUnicode(child));
    SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"\u4E2D\u6587"));
    EXPECT_EQ(GetPropW(child, L"SawWideText"), reinterpret_cast<HANDLE>(1)) << "text not narrowed on the way";
    RemovePropW(child, L"SawWideText");
}

// A browser window on a thread of its own.
class BrowserThread : public host::BrowserThread {
public:
    BrowserThread() : host::BrowserThread([] { return std::make_unique<BrowserWindow>("IEFrame"); }) {}
};

TEST_F(AgentAttach, HooksOfAllBrowserThreadsStayUntilTheLastWindowQuits) {
    BrowserThread first;
    BrowserThread second;
    const HWND secondWindow = second.Window();
    first.Do([](BrowserWindow& window) { window.Quit(); });
    // The first thread's hook still sees the windows it creates: here one
    // below the second browser's window, which is still registered.
    HWND stillFollowed = nullptr;
    first.Do([&](BrowserWindow&) { stillFollowed = CreateChild(secondWindow); });
    EXPECT_TRUE(Subclassed(stillFollowed));

    second.Do([](BrowserWindow& window) { window.Quit(); });
    HWND notFollowed = nullptr;
    first.Do([&](BrowserWindow&) { notFollowed = CreateChild(secondWindow); });
    EXPECT_FALSE(Subclassed(notFollowed)) << "every hook went with the last window";
}

TEST_F(AgentAttach, ModuleStaysLoadedWhileAgentsHooksOrFollowedWindowsLive) {
    auto window = std::make_unique<BrowserWindow>("IEFrame");
    const HWND page = window->Page();
    ASSERT_TRUE(Subclassed(page));
    EXPECT_EQ(AgentCanUnloadNow(), S_FALSE) << "an agent lives";
    window->Quit();
    EXPECT_EQ(AgentCanUnloadNow(), S_FALSE) << "the agent is still held by the host";
    // The host lets go of its agent; the page is still subclassed.
    const HWND browserWindow = window->Window();
    SetParent(page, nullptr);
    window.reset();
    ASSERT_FALSE(IsWindow(browserWindow));
    ASSERT_TRUE(IsWindow(page));
    EXPECT_EQ(AgentCanUnloadNow(), S_FALSE) << "a followed window lives";
    DestroyWindow(page);
    EXPECT_EQ(AgentCanUnloadNow(), S_OK);
}

TEST_F(AgentAttach, AnAgentWithoutControllerStillAttachesAndHearsEvents) {
    RemoveController();
    EmptyAgentLog();
    {
        BrowserWindow window("IEFrame");
        ASSERT_EQ(window.Helpers().size(), 1u);
        EXPECT_EQ(window.SetSiteResults()[0], S_OK);
        EXPECT_EQ(window.Browser().SinkCount(), 1u);
        EXPECT_FALSE(window.Browser().NewWindow().cancelled) << "a fresh agent's first new window";
        EXPECT_TRUE(window.Browser().NewWindow().cancelled) << "no controller to ask";
        const auto navigation = window.Browser().Navigate(L"http://anything.test/");
        EXPECT_EQ(navigation.result, S_OK);
        EXPECT_FALSE(navigation.cancelled) << "no answer: allowed";
    }
    const std::string log = ReadAgentLog();
    EXPECT_EQ(log.substr(0, 1), "-") << "the connection's failure is logged: " << log;
    EXPECT_NE(log.find(", http://anything.test/"), std::string::npos) << log;
    UseController(nullptr);
}

}  // namespace
}  // namespace sentrel::testing
