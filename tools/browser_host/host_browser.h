// The test host's browser object: a real top-level window, the IWebBrowser2
// methods the agent calls, and a DWebBrowserEvents2 connection point that
// fires real IDispatch::Invoke calls with the arguments laid out as the
// browser lays them out (reverse order, strings and flags by reference).
// It records what the agent asked it to do.
#pragma once

#include "support/com_object.h"
#include "support/com_ptr.h"
#include "not_implemented.h"

#include <ocidl.h>

#include <map>
#include <string>
#include <vector>

namespace sentrel::host {

struct EventOutcome {
    HRESULT result;   // what the (last) sink's Invoke returned
    bool cancelled;   // the Cancel flag after every sink had its say
};

class HostBrowser final
    : public qz_support::ComObject<
          qz_support::DeletedWithLastReference,
          qz_support::Answers<NotImplementedIWebBrowser2, IDispatch, IWebBrowser, IWebBrowserApp>,
          IConnectionPointContainer> {
public:
    // `topLevel` false makes a frame's browser object, which only answers
    // get_TopLevelContainer and has no connection point container.
    static qz_support::ComPtr<HostBrowser> Create(HWND window, bool topLevel = true);

    // IWebBrowser2, as far as the agent uses it.
    STDMETHODIMP get_HWND(SHANDLE_PTR* window) override;
    STDMETHODIMP get_LocationURL(BSTR* location) override;
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* topLevel) override;
    STDMETHODIMP get_Document(IDispatch** document) override;
    STDMETHODIMP Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* postData, VARIANT* headers) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // Browsing, as the user or the page would.
    // A top-level navigation: BeforeNavigate2, and when nobody cancelled it
    // the address (or `arrivesAt`, where a server or the page redirected it)
    // becomes the location and NavigateComplete2 reports it. Navigations the
    // agent asked for meanwhile (Navigate2) follow in order.
    EventOutcome Navigate(const std::wstring& url, const std::wstring& arrivesAt = {});
    // A navigation inside the frame element `frameName`, the same way.
    EventOutcome NavigateFrame(const std::wstring& frameName, const std::wstring& url,
                               const std::wstring& arrivesAt = {});
    EventOutcome NewWindow();
    // The user opens `url` in a new window (the link menu's command), as the
    // browser does it: NewWindow2, then, when nobody cancelled it,
    // NewWindow3 with the address; the window opens when neither was
    // cancelled, and OpenedWindows lists it.
    EventOutcome OpenInNewWindow(const std::wstring& url);
    HRESULT FireQuit();
    // Any event with any arguments, for checking how the sink copes.
    HRESULT FireRaw(DISPID id, DISPPARAMS* params);

    void SetLocation(std::wstring location) { location_ = std::move(location); }
    // get_HWND fails from now on, as for a browser whose window has gone.
    void FailWindowQueries() { windowQueriesFail_ = true; }
    void SetDocument(qz_support::ComPtr<IDispatch> document) { document_ = std::move(document); }
    HWND Window() const { return window_; }

    // What happened, for the tests and the session printout.
    const std::vector<std::wstring>& Navigate2Calls() const { return navigate2Calls_; }
    const std::vector<std::wstring>& OpenedWindows() const { return openedWindows_; }
    size_t SinkCount() const { return sinks_.size(); }
    size_t AdviseCount() const { return advised_; }
    size_t UnadviseCount() const { return unadvised_; }

private:
    class ConnectionPoint;

    HostBrowser(HWND window, bool topLevel);
    bool OffersInterface(REFIID iid) const override;
    EventOutcome FireBeforeNavigate2(IDispatch* navigator, const std::wstring& url, const std::wstring& frameName);
    EventOutcome FireWithCancel(DISPID id, std::vector<VARIANT>& arguments, VARIANT_BOOL& cancel);
    EventOutcome NavigateOnce(const std::wstring& url, const std::wstring& arrivesAt);
    HRESULT FireNavigateComplete2(IDispatch* navigator, const std::wstring& url);
    void DrainRequestedNavigations();

    HWND window_;
    bool topLevel_;
    bool windowQueriesFail_ = false;
    std::wstring location_;
    qz_support::ComPtr<IDispatch> document_;
    std::map<DWORD, qz_support::ComPtr<IDispatch>> sinks_;
    DWORD nextCookie_ = 1;
    size_t advised_ = 0;
    size_t unadvised_ = 0;
    int eventDepth_ = 0;
    std::vector<std::wstring> requested_;
    std::vector<std::wstring> navigate2Calls_;
    std::vector<std::wstring> openedWindows_;
};

}  // namespace sentrel::host
