#include "tools/browser_host/host_session.h"

#include "support/com_object.h"
#include "support/registry.h"
#include "support/unique_any.h"
#include "tools/browser_host/link_menu.h"

#include <docobj.h>
#include <windowsx.h>
#include <servprov.h>
#include <shlguid.h>
#include <shlobj.h>

#include <map>
#include <mutex>

namespace sentrel::host {
namespace {

using qz_support::ComPtr;

constexpr const char* kHelperObjectsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
constexpr const char* kPageClass = "SentrelHostPage";

constexpr const char* kTabClass = "TabWindowClass";

// IUnknown always; the other interfaces as the options say.
class HostSite final : public qz_support::ComObject<qz_support::DeletedWithLastReference, IOleCommandTarget,
                                                    IServiceProvider, IOleWindow> {
public:
    HostSite(ComPtr<HostBrowser> browser, SiteOptions options) : browser_(std::move(browser)), options_(options) {}

    STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return E_NOTIMPL; }
    STDMETHODIMP Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) override { return E_NOTIMPL; }

    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        // The shell browser, as far as its window goes.
        if (IsEqualGUID(service, SID_SShellBrowser) && options_.shellBrowserWindow) return QueryInterface(iid, object);
        if (!IsEqualGUID(service, SID_SWebBrowserApp)) return E_NOINTERFACE;
        return browser_->QueryInterface(iid, object);
    }

    STDMETHODIMP GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = options_.shellBrowserWindow;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

private:
    bool OffersInterface(REFIID iid) const override {
        if (IsEqualIID(iid, IID_IOleCommandTarget)) return options_.commandTarget;
        if (IsEqualIID(iid, IID_IServiceProvider)) return options_.serviceProvider;
        if (IsEqualIID(iid, IID_IOleWindow)) return options_.shellBrowserWindow != nullptr;
        return true;
    }

    ComPtr<HostBrowser> browser_;
    SiteOptions options_;
};

std::mutex clicksLock;
std::map<HWND, std::vector<PageClick>> pageClicks;


void RegisterWindowClass(const std::string& name, WNDPROC procedure) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name.c_str();
    RegisterClassA(&windowClass);  // a class already registered stays as it is
}

// Waits for `event`; messages other threads send to this one are handled
// meanwhile, so that a thread whose windows send here does not wait forever.
void WaitHandlingSentMessages(HANDLE event) {
    while (MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
}

}  // namespace

// The page records its left clicks; a right click on it (the context menu
// message that follows) opens the link menu while the page shows a link,
// and the menu's commands open the link, here or in a new window.
LRESULT CALLBACK BrowserWindow::PageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* owner = reinterpret_cast<BrowserWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_LBUTTONDOWN) {
        std::lock_guard<std::mutex> guard(clicksLock);
        pageClicks[window].push_back({wParam, lParam});
    } else if (message == WM_NCDESTROY) {
        std::lock_guard<std::mutex> guard(clicksLock);
        pageClicks.erase(window);
    } else if (message == WM_CONTEXTMENU && owner && !owner->link_.empty()) {
        ShowLinkMenu(window, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    } else if (message == WM_COMMAND && owner && !owner->link_.empty() && lParam == 0) {
        if (LOWORD(wParam) == kOpenLinkCommand) owner->browser_->Navigate(owner->link_);
        if (LOWORD(wParam) == kOpenLinkInNewWindowCommand) owner->browser_->OpenInNewWindow(owner->link_);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

ComPtr<IUnknown> CreateSite(ComPtr<HostBrowser> browser, SiteOptions options) {
    return ComPtr<IUnknown>::Attach(static_cast<IOleCommandTarget*>(new HostSite(std::move(browser), options)));
}

std::vector<CLSID> RegisteredHelperObjects() {
    std::vector<CLSID> classes;
    const auto opened = qz_support::registry::OpenKey(HKEY_LOCAL_MACHINE, kHelperObjectsKey, KEY_READ);
    if (!opened) return classes;
    for (DWORD index = 0;; ++index) {
        wchar_t name[64];
        DWORD length = 64;
        if (RegEnumKeyExW(opened.key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        CLSID classId;
        if (SUCCEEDED(CLSIDFromString(name, &classId))) classes.push_back(classId);
    }
    return classes;
}

BrowserWindow::BrowserWindow(const std::string& className, SiteOptions options) {
    RegisterWindowClass(className, DefWindowProcA);
    window_ = CreateWindowExA(0, className.c_str(), "Sentrel test browser", WS_OVERLAPPEDWINDOW, 40, 40,
                              640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    browser_ = HostBrowser::Create(window_);
    LoadHelpers(options);
}

std::unique_ptr<BrowserWindow> BrowserWindow::Tab(HWND frame, bool ownWindow) {
    RegisterWindowClass(kTabClass, DefWindowProcA);
    std::unique_ptr<BrowserWindow> tab(new BrowserWindow);
    RECT client{};
    GetClientRect(frame, &client);
    // No WM_PARENTNOTIFY: the frame's thread may be busy waiting for this one.
    tab->window_ = CreateWindowExA(WS_EX_NOPARENTNOTIFY, kTabClass, "", WS_CHILD | WS_VISIBLE, 0, 0, client.right,
                                   client.bottom, frame, nullptr, GetModuleHandleA(nullptr), nullptr);
    tab->browser_ = HostBrowser::Create(frame);
    SiteOptions options;
    if (ownWindow) options.shellBrowserWindow = tab->window_;
    tab->LoadHelpers(options);
    return tab;
}

void BrowserWindow::LoadHelpers(SiteOptions options) {
    site_ = CreateSite(browser_, options);
    for (const CLSID& classId : RegisteredHelperObjects()) {
        ComPtr<IObjectWithSite> helper;
        if (FAILED(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite, helper.put_void())))
            continue;
        setSiteResults_.push_back(helper->SetSite(site_.get()));
        helpers_.push_back(helper);
    }
}

BrowserWindow::~BrowserWindow() {
    Quit();
    helpers_.clear();
    site_.reset();
    browser_.reset();
    // A page moved elsewhere outlives its window; it no longer reaches it.
    if (page_ && IsWindow(page_)) SetWindowLongPtrA(page_, GWLP_USERDATA, 0);
    if (window_) DestroyWindow(window_);
}

void BrowserWindow::Quit() {
    if (quit_) return;
    quit_ = true;
    browser_->FireQuit();
    for (const auto& helper : helpers_) helper->SetSite(nullptr);
}

HWND BrowserWindow::Page() {
    if (!page_) {
        RegisterWindowClass(kPageClass, PageProcedure);
        RECT client{};
        GetClientRect(window_, &client);
        page_ = CreateWindowExA(0, kPageClass, "", WS_CHILD | WS_VISIBLE, 0, 0, client.right, client.bottom, window_,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(page_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    return page_;
}

void BrowserWindow::SetLink(std::wstring address) {
    Page();
    link_ = std::move(address);
}

BrowserThread::BrowserThread(std::function<std::unique_ptr<BrowserWindow>()> open)
    : open_(std::move(open)),
      ready_(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      done_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    thread_.reset(CreateThread(nullptr, 0, &BrowserThread::Start, this, 0, nullptr));
    WaitHandlingSentMessages(ready_.get());
}

BrowserThread::~BrowserThread() {
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    // The thread's windows may send to this one's while they go.
    WaitHandlingSentMessages(ready_.get());
}

void BrowserThread::Do(std::function<void(BrowserWindow&)> work) {
    Start(std::move(work));
    Finish();
}

void BrowserThread::Start(std::function<void(BrowserWindow&)> work) {
    work_ = std::move(work);
    PostThreadMessageA(threadId_, WM_APP, 0, 0);
}

void BrowserThread::Finish() {
    WaitHandlingSentMessages(done_.get());
}

HWND BrowserThread::Window() {
    HWND window = nullptr;
    Do([&](BrowserWindow& browser) { window = browser.Window(); });
    return window;
}

DWORD WINAPI BrowserThread::Start(void* self) {
    static_cast<BrowserThread*>(self)->Run();
    return 0;
}

void BrowserThread::Run() {
    CoInitialize(nullptr);
    {
        std::unique_ptr<BrowserWindow> window = open_();
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
        threadId_ = GetCurrentThreadId();
        SetEvent(ready_.get());
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (message.message == WM_APP && !message.hwnd) {
                work_(*window);
                SetEvent(done_.get());
                continue;
            }
            DispatchMessageA(&message);
        }
    }
    CoUninitialize();
    // Under Wine the exit of such a thread can block for good in the
    // loader's thread detach (seen when the last of several tab threads
    // below one frame ended), so the thread does not end: it parks, touches
    // nothing of this object any more, and goes with the process.
    const HANDLE ended = ready_.get();
    SetEvent(ended);
    for (;;) Sleep(INFINITE);
}

HWND CreateFrameWindow() {
    RegisterWindowClass("IEFrame", DefWindowProcA);
    return CreateWindowExA(0, "IEFrame", "Sentrel tabbed test browser", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40,
                           40, 640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TabbedBrowser::TabbedBrowser(size_t tabs) : frame_(CreateFrameWindow()) {
    for (size_t index = 0; index < tabs; ++index)
        tabs_.push_back(std::make_unique<BrowserThread>([this] { return BrowserWindow::Tab(frame_); }));
}

TabbedBrowser::~TabbedBrowser() {
    tabs_.clear();
    DestroyWindow(frame_);
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

void SetKeys(bool shift, bool control) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = keys[VK_LSHIFT] = shift ? 0x80 : 0;
    keys[VK_CONTROL] = keys[VK_LCONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
}

std::vector<PageClick> PageClicks(HWND page) {
    std::lock_guard<std::mutex> guard(clicksLock);
    const auto found = pageClicks.find(page);
    return found == pageClicks.end() ? std::vector<PageClick>() : found->second;
}

}  // namespace sentrel::host
