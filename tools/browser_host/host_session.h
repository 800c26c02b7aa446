// One browser window of the test host, with its helper objects loaded as the
// browser loads them: every class listed under "Browser Helper Objects" is
// created with CoCreateInstance and given the window's site.
#pragma once

#include "support/com_ptr.h"
#include "tools/browser_host/host_browser.h"

#include <ocidl.h>

#include <string>
#include <vector>

namespace sentrel::host {

struct SiteOptions {
    bool commandTarget = true;   // the site answers IOleCommandTarget
    bool serviceProvider = true; // ... and IServiceProvider
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
    BrowserWindow(const BrowserWindow&) = delete;
    BrowserWindow& operator=(const BrowserWindow&) = delete;
    // Quits (OnQuit, SetSite(null)), releases the helpers, destroys the window.
    ~BrowserWindow();

    HostBrowser& Browser() { return *browser_.get(); }
    HWND Window() const { return window_; }
    // The page: a child window of the browser window, created after the
    // helpers attached, so their hook sees it.
    HWND Page();
    const std::vector<qz_support::ComPtr<IObjectWithSite>>& Helpers() const { return helpers_; }
    // Results of the helpers' SetSite calls.
    const std::vector<HRESULT>& SetSiteResults() const { return setSiteResults_; }

    void Quit();

private:
    HWND window_ = nullptr;
    HWND page_ = nullptr;
    qz_support::ComPtr<HostBrowser> browser_;
    qz_support::ComPtr<IUnknown> site_;
    std::vector<qz_support::ComPtr<IObjectWithSite>> helpers_;
    std::vector<HRESULT> setSiteResults_;
    bool quit_ = false;
};

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
