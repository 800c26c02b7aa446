// One browser window of the test host, with its helper objects loaded as the
// browser loads them: every class listed under "Browser Helper Objects" is
// created with CoCreateInstance and given the window's site.
#pragma once

#include "support/com_ptr.h"
#include "tools/browser_host/host_browser.h"

#include "support/unique_any.h"

#include <ocidl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sentrel::host {

struct SiteOptions {
    bool commandTarget = true;   // the site answers IOleCommandTarget
    bool serviceProvider = true; // ... and IServiceProvider
    // When set, QueryService(SID_SShellBrowser, IID_IOleWindow) gives an
    // IOleWindow whose GetWindow answers this window (a tab's own window).
    HWND shellBrowserWindow = nullptr;
};

// The site the helper objects get: IOleCommandTarget and IServiceProvider,
// whose QueryService(SID_SWebBrowserApp, IID_IWebBrowser2) gives the browser.
qz_support::ComPtr<IUnknown> CreateSite(qz_support::ComPtr<HostBrowser> browser, SiteOptions options = {});

// The class ids listed under HKLM\...\Explorer\Browser Helper Objects.
std::vector<CLSID> RegisteredHelperObjects();

class BrowserWindow {
public:
    // A top-level window of `className` (registered when needed), its
    // browser object, and its helper objects attached. Call on a thread with
    // a single-threaded apartment. The window stays hidden: under Xvfb with
    // no window manager, hiding a shown window waits two seconds.
    explicit BrowserWindow(const std::string& className, SiteOptions options = {});
    // A tab of the tabbed browser whose frame is `frame`: a child window of
    // the frame made on this thread, with a browser object of its own whose
    // get_HWND gives the frame, as every tab's does. With `ownWindow` the
    // site offers the tab's window as its shell browser's window; without,
    // the helpers know only the frame.
    static std::unique_ptr<BrowserWindow> Tab(HWND frame, bool ownWindow = true);
    BrowserWindow(const BrowserWindow&) = delete;
    BrowserWindow& operator=(const BrowserWindow&) = delete;
    // Quits (OnQuit, SetSite(null)), releases the helpers, destroys the window.
    ~BrowserWindow();

    HostBrowser& Browser() { return *browser_.get(); }
    // The browser's top-level window, or a tab's own window.
    HWND Window() const { return window_; }
    // The page: a child window of Window(), created after the helpers
    // attached, so their hook sees it.
    HWND Page();
    // The page shows a link to `address` where the user right-clicks: the
    // right click opens the browser's link menu (link_menu.h) for it. An
    // empty address: no link, no menu.
    void SetLink(std::wstring address);
    const std::vector<qz_support::ComPtr<IObjectWithSite>>& Helpers() const { return helpers_; }
    // Results of the helpers' SetSite calls.
    const std::vector<HRESULT>& SetSiteResults() const { return setSiteResults_; }

    void Quit();

private:
    BrowserWindow() = default;
    void LoadHelpers(SiteOptions options);
    static LRESULT CALLBACK PageProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HWND page_ = nullptr;
    qz_support::ComPtr<HostBrowser> browser_;
    qz_support::ComPtr<IUnknown> site_;
    std::vector<qz_support::ComPtr<IObjectWithSite>> helpers_;
    std::vector<HRESULT> setSiteResults_;
    bool quit_ = false;
    std::wstring link_;
};

// A browser window on a user-interface thread of its own (a single-threaded
// apartment that pumps messages), and a way to run work there.
class BrowserThread {
public:
    // `open` runs on the new thread and makes its window.
    explicit BrowserThread(std::function<std::unique_ptr<BrowserWindow>()> open);
    BrowserThread(const BrowserThread&) = delete;
    BrowserThread& operator=(const BrowserThread&) = delete;
    // Closes the thread's window and leaves its apartment. The thread itself
    // parks until the process ends (see Run).
    ~BrowserThread();
    // Runs `work` on the thread and waits for it, handling the messages
    // sent to this thread meanwhile.
    void Do(std::function<void(BrowserWindow&)> work);
    // The same in two halves, so that several threads can work at once.
    void Start(std::function<void(BrowserWindow&)> work);
    void Finish();
    HWND Window();

private:
    static DWORD WINAPI Start(void* self);
    void Run();

    std::function<std::unique_ptr<BrowserWindow>()> open_;
    qz_support::UniqueHandle ready_;
    qz_support::UniqueHandle done_;
    qz_support::UniqueHandle thread_;
    DWORD threadId_ = 0;
    std::function<void(BrowserWindow&)> work_;
};

// A tabbed browser: one "IEFrame" window, made on the calling thread, and
// `tabs` tabs below it, each with its browser object, helper objects and
// user-interface thread.
class TabbedBrowser {
public:
    explicit TabbedBrowser(size_t tabs);
    TabbedBrowser(const TabbedBrowser&) = delete;
    TabbedBrowser& operator=(const TabbedBrowser&) = delete;
    ~TabbedBrowser();

    HWND Frame() const { return frame_; }
    BrowserThread& Tab(size_t index) { return *tabs_.at(index); }
    // Closes one tab: its window quits and its thread ends.
    void Close(size_t index) { tabs_.at(index).reset(); }

private:
    HWND frame_;
    std::vector<std::unique_ptr<BrowserThread>> tabs_;
};

// Creates the frame window of a tabbed browser on this thread.
HWND CreateFrameWindow();

// Handles this thread's messages for `milliseconds` (timers, posted messages).
void PumpMessages(DWORD milliseconds);

// Sets Shift and Ctrl in this thread's keyboard state, as GetKeyState reads it.
void SetKeys(bool shift, bool control);

// The page window's received left clicks, for checking they arrive unchanged.
struct PageClick {
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<PageClick> PageClicks(HWND page);

}  // namespace sentrel::host
