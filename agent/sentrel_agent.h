// The browser helper object: one per browser window, created by the browser
// through the class factory. It connects to the controller, attaches to its
// browser through SetSite, receives the browser's events through Invoke and
// detaches when the window quits. The work on the events lives in
// navigation_filter.cpp and popup_blocker.cpp.
#pragma once

#include "agent/browser_notify.h"
#include "policy/controller_interface.h"
#include "support/com_object.h"
#include "support/com_ptr.h"

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace sentrel::agent {

// IUnknown first, then the interfaces in the agent's order. Aggregated, the
// agent's own IUnknown is its inner one; alone, its identity is the
// IObjectWithSite pointer that it also gives the browser as event sink.
class CSentrelAgent final
    : public qz_support::AggregatableComObject<IObjectWithSite, IDispatch,
                                               qz_support::Answers<IPersistStream, IPersist>, IInputObject,
                                               ISupportErrorInfo>,
      public IMessageSink,
      public IMenuSink {
public:
    // Creates an agent (aggregated when `outer` is set), runs its final
    // construction and queries it for `iid`; a failed query destroys it.
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object) noexcept;

    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override;
    STDMETHODIMP GetSite(REFIID iid, void** site) override;

    // IDispatch: the sink of DWebBrowserEvents2.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override;

    // IPersist, IPersistStream: nothing to persist.
    STDMETHODIMP GetClassID(CLSID* classId) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override { return S_OK; }
    STDMETHODIMP Save(IStream*, BOOL) override { return S_OK; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;

    // IInputObject
    STDMETHODIMP UIActivateIO(BOOL, MSG*) override { return S_OK; }
    STDMETHODIMP HasFocusIO() override { return S_FALSE; }
    STDMETHODIMP TranslateAcceleratorIO(MSG*) override { return S_FALSE; }

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

    // IMessageSink: the click rule.
    bool OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, int x, int y) noexcept override;
    // A reference on the agent while the window notification calls it;
    // none is taken once the agent's count has reached zero.
    bool TryRetainSink() override;
    void ReleaseSink() override;
    // IMenuSink: follows the "Open In New Window" command of a context menu.
    bool OnMenuPopup(HWND first, HMENU menu) noexcept override;
    UINT OnMenuCommand(HWND first, WPARAM second, UINT command) noexcept override;

    // The click timer clears the flag of the agent that saw the last click.
    static void CALLBACK ClickTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time) noexcept;
    // Called by a dying agent, so that no timer writes to it afterwards.
    static void ForgetClickedAgent(CSentrelAgent* agent) noexcept;

private:
    explicit CSentrelAgent(IUnknown* outer);
    ~CSentrelAgent();
    CSentrelAgent(const CSentrelAgent&) = delete;
    CSentrelAgent& operator=(const CSentrelAgent&) = delete;

    void FinalConstruct() noexcept;

    // SetSite's work once a command target was found.
    HRESULT Attach(IUnknown* site);
    // Undoes what attaching registered: sinks, hook, event connection,
    // browser. Asks the browser nothing, so it completes whatever state the
    // browser is in.
    void Detach() noexcept;
    void Unadvise() noexcept;

    // Event handlers, called by Invoke.
    HRESULT OnBeforeNavigate2(DISPPARAMS* params);
    void OnNavigateComplete2(DISPPARAMS* params);
    void OnNewWindow2(DISPPARAMS* params);
    void OnQuit();

    // Popup rules (popup_blocker.cpp).
    void ApplyClickRule(const std::string& address);
    bool NewWindowAllowed();

    // Parts of the navigation filter (navigation_filter.cpp).
    bool LeavesZipFolder();
    HRESULT AskController(BSTR address);
    void ShowRefusal(IDispatch* navigator, const VARIANT* targetFrame, bool controllerAnswered);
    // Asks about `address` (`narrow` is its narrow text), logs the answer and
    // applies the shell-window and fail-closed rules; true when the
    // navigation is refused. `answered` tells whether the controller gave one
    // of its answers.
    bool Refused(BSTR address, const std::string& narrow, bool zipFolder, bool bareWord, bool* answered);
    void RememberAsked(IDispatch* navigator, BSTR address, const VARIANT& targetFrame);
    void ShowErrorPageOrMessage(bool controllerAnswered);
    void ReplaceFrameWithBanner(const VARIANT* targetFrame);

    // Fields in the order the agent declares them.
    qz_support::ComPtr<ISentrelController> m_spController;
    qz_support::ComPtr<IWebBrowser2> m_spWebBrowser;
    DWORD m_dwEventCookie = 0;
    LONG m_nNewWindowCmd = -1;
    BYTE m_bAllowNewWindow = 1;
    BYTE m_bUserClicked = 0;
    BYTE m_bShellWindow = 0;

    // The connection point the cookie belongs to, so it is unadvised even
    // when the browser pointer was replaced.
    qz_support::ComPtr<IConnectionPoint> eventConnection_;
    // The window the sinks are registered for: the tab's own window when the
    // browser has one, else the browser's top-level window. Null while
    // nothing is registered.
    HWND registeredWindow_ = nullptr;
    // The last address asked at BeforeNavigate2 for each browser object (the
    // window's and its frames'), so that NavigateComplete2 asks again only
    // when the browser arrived somewhere else (a redirect). The identity is
    // only compared, never called.
    struct AskedNavigation {
        const IUnknown* navigator;
        std::wstring address;
        std::wstring frameName;
    };
    std::vector<AskedNavigation> asked_;
};

}  // namespace sentrel::agent
