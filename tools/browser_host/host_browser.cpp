#include "tools/browser_host/host_browser.h"

#include "support/unique_any.h"

#include <exdispid.h>
#include <shobjidl.h>

namespace sentrel::host {

using qz_support::ComPtr;

class HostBrowser::ConnectionPoint final
    : public qz_support::ComObject<qz_support::DeletedWithLastReference, IConnectionPoint> {
public:
    // Holds the browser while it lives.
    explicit ConnectionPoint(HostBrowser& browser) : browser_(browser) { browser_.AddRef(); }
    ~ConnectionPoint() override { browser_.Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = DIID_DWebBrowserEvents2;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        *container = &browser_;
        browser_.AddRef();
        return S_OK;
    }
    // The sink is asked for the event interface first, then for IDispatch.
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        ComPtr<IDispatch> dispatch;
        if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, dispatch.put_void())) &&
            FAILED(sink->QueryInterface(IID_IDispatch, dispatch.put_void())))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = browser_.nextCookie_++;
        browser_.sinks_[*cookie] = dispatch;
        ++browser_.advised_;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        if (browser_.sinks_.erase(cookie) == 0) return CONNECT_E_NOCONNECTION;
        ++browser_.unadvised_;
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    HostBrowser& browser_;
};

ComPtr<HostBrowser> HostBrowser::Create(HWND window, bool topLevel) {
    return ComPtr<HostBrowser>::Attach(new HostBrowser(window, topLevel));
}

HostBrowser::HostBrowser(HWND window, bool topLevel) : window_(window), topLevel_(topLevel) {}

bool HostBrowser::OffersInterface(REFIID iid) const {
    return topLevel_ || !IsEqualIID(iid, IID_IConnectionPointContainer);
}

STDMETHODIMP HostBrowser::get_HWND(SHANDLE_PTR* window) {
    if (!window) return E_POINTER;
    *window = 0;
    if (windowQueriesFail_) return E_FAIL;
    *window = reinterpret_cast<SHANDLE_PTR>(window_);
    return S_OK;
}

STDMETHODIMP HostBrowser::get_LocationURL(BSTR* location) {
    if (!location) return E_POINTER;
    *location = location_.empty() ? nullptr : SysAllocString(location_.c_str());
    return S_OK;
}

STDMETHODIMP HostBrowser::get_TopLevelContainer(VARIANT_BOOL* topLevel) {
    if (!topLevel) return E_POINTER;
    *topLevel = topLevel_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP HostBrowser::get_Document(IDispatch** document) {
    return document_.copy_to(document);
}

// Recorded, then carried out once the event that asked for it has returned,
// as the browser queues a navigation requested during another.
STDMETHODIMP HostBrowser::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* target, VARIANT* postData,
                                    VARIANT* headers) {
    if (!url || V_VT(url) != VT_BSTR) return E_INVALIDARG;
    for (VARIANT* optional : {flags, target, postData, headers}) {
        if (!optional || V_VT(optional) != VT_ERROR || V_ERROR(optional) != DISP_E_PARAMNOTFOUND)
            return E_INVALIDARG;
    }
    const std::wstring address(V_BSTR(url), SysStringLen(V_BSTR(url)));
    navigate2Calls_.push_back(address);
    requested_.push_back(address);
    if (eventDepth_ == 0) DrainRequestedNavigations();
    return S_OK;
}

STDMETHODIMP HostBrowser::EnumConnectionPoints(IEnumConnectionPoints**) {
    return E_NOTIMPL;
}

STDMETHODIMP HostBrowser::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(iid, DIID_DWebBrowserEvents2)) return CONNECT_E_NOCONNECTION;
    *point = new ConnectionPoint(*this);
    return S_OK;
}

HRESULT HostBrowser::FireRaw(DISPID id, DISPPARAMS* params) {
    // A copy: a sink may unadvise while the event is delivered.
    const auto sinks = sinks_;
    HRESULT result = S_OK;
    ++eventDepth_;
    for (const auto& [cookie, sink] : sinks) {
        result = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, nullptr, nullptr, nullptr);
    }
    --eventDepth_;
    return result;
}

EventOutcome HostBrowser::FireWithCancel(DISPID id, std::vector<VARIANT>& arguments, VARIANT_BOOL& cancel) {
    DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    const HRESULT result = FireRaw(id, &params);
    return {result, cancel != VARIANT_FALSE};
}

EventOutcome HostBrowser::FireBeforeNavigate2(IDispatch* navigator, const std::wstring& url,
                                              const std::wstring& frameName) {
    qz_support::UniqueBstr urlText(SysAllocString(url.c_str()));
    qz_support::UniqueBstr frameText(SysAllocString(frameName.c_str()));
    VARIANT urlValue, flagsValue, frameValue, postDataValue, headersValue;
    for (VARIANT* value : {&urlValue, &flagsValue, &frameValue, &postDataValue, &headersValue}) VariantInit(value);
    V_VT(&urlValue) = VT_BSTR;
    V_BSTR(&urlValue) = urlText.get();
    V_VT(&flagsValue) = VT_I4;
    V_I4(&flagsValue) = 0;
    V_VT(&frameValue) = VT_BSTR;
    V_BSTR(&frameValue) = frameText.get();
    VARIANT_BOOL cancel = VARIANT_FALSE;

    auto byReference = [](VARIANT* value) {
        VARIANT reference;
        VariantInit(&reference);
        V_VT(&reference) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&reference) = value;
        return reference;
    };
    std::vector<VARIANT> arguments(7);
    V_VT(&arguments[6]) = VT_DISPATCH;
    V_DISPATCH(&arguments[6]) = navigator;
    arguments[5] = byReference(&urlValue);
    arguments[4] = byReference(&flagsValue);
    arguments[3] = byReference(&frameValue);
    arguments[2] = byReference(&postDataValue);
    arguments[1] = byReference(&headersValue);
    V_VT(&arguments[0]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&arguments[0]) = &cancel;
    return FireWithCancel(250, arguments, cancel);
}

// NavigateComplete2(pDisp, URL): the browser object that navigated and where
// it arrived, the address by reference.
HRESULT HostBrowser::FireNavigateComplete2(IDispatch* navigator, const std::wstring& url) {
    qz_support::UniqueBstr urlText(SysAllocString(url.c_str()));
    VARIANT urlValue;
    VariantInit(&urlValue);
    V_VT(&urlValue) = VT_BSTR;
    V_BSTR(&urlValue) = urlText.get();
    VARIANT arguments[2];
    V_VT(&arguments[1]) = VT_DISPATCH;
    V_DISPATCH(&arguments[1]) = navigator;
    V_VT(&arguments[0]) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&arguments[0]) = &urlValue;
    DISPPARAMS params{arguments, nullptr, 2, 0};
    return FireRaw(DISPID_NAVIGATECOMPLETE2, &params);
}

EventOutcome HostBrowser::Navigate(const std::wstring& url, const std::wstring& arrivesAt) {
    const EventOutcome outcome = NavigateOnce(url, arrivesAt);
    if (eventDepth_ == 0) DrainRequestedNavigations();
    return outcome;
}

EventOutcome HostBrowser::NavigateOnce(const std::wstring& url, const std::wstring& arrivesAt) {
    const EventOutcome outcome = FireBeforeNavigate2(static_cast<IWebBrowser2*>(this), url, L"");
    if (!outcome.cancelled) {
        location_ = arrivesAt.empty() ? url : arrivesAt;
        FireNavigateComplete2(static_cast<IWebBrowser2*>(this), location_);
    }
    return outcome;
}

EventOutcome HostBrowser::NavigateFrame(const std::wstring& frameName, const std::wstring& url,
                                        const std::wstring& arrivesAt) {
    const ComPtr<HostBrowser> frame = Create(window_, false);
    const EventOutcome outcome = FireBeforeNavigate2(static_cast<IWebBrowser2*>(frame.get()), url, frameName);
    if (!outcome.cancelled)
        FireNavigateComplete2(static_cast<IWebBrowser2*>(frame.get()), arrivesAt.empty() ? url : arrivesAt);
    if (eventDepth_ == 0) DrainRequestedNavigations();
    return outcome;
}

EventOutcome HostBrowser::NewWindow() {
    IDispatch* newWindow = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANT> arguments(2);
    V_VT(&arguments[1]) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&arguments[1]) = &newWindow;
    V_VT(&arguments[0]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&arguments[0]) = &cancel;
    return FireWithCancel(DISPID_NEWWINDOW2, arguments, cancel);
}

// NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl), in reverse
// order; the flags of a window the user asked for from a menu.
EventOutcome HostBrowser::OpenInNewWindow(const std::wstring& url) {
    const EventOutcome asked = NewWindow();
    if (asked.cancelled) return asked;
    qz_support::UniqueBstr context(SysAllocString(location_.c_str()));
    qz_support::UniqueBstr address(SysAllocString(url.c_str()));
    IDispatch* newWindow = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    std::vector<VARIANT> arguments(5);
    V_VT(&arguments[4]) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&arguments[4]) = &newWindow;
    V_VT(&arguments[3]) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&arguments[3]) = &cancel;
    V_VT(&arguments[2]) = VT_UI4;
    V_UI4(&arguments[2]) = NWMF_USERINITED | NWMF_USERREQUESTED | NWMF_FORCEWINDOW;
    V_VT(&arguments[1]) = VT_BSTR;
    V_BSTR(&arguments[1]) = context.get();
    V_VT(&arguments[0]) = VT_BSTR;
    V_BSTR(&arguments[0]) = address.get();
    DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    const HRESULT result = FireRaw(DISPID_NEWWINDOW3, &params);
    if (cancel == VARIANT_FALSE) openedWindows_.push_back(url);
    return {result, cancel != VARIANT_FALSE};
}

HRESULT HostBrowser::FireQuit() {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return FireRaw(DISPID_ONQUIT, &none);
}

// A chain of requested navigations is cut off after a few, so that a page
// that keeps being refused cannot loop the host.
void HostBrowser::DrainRequestedNavigations() {
    constexpr int kLongestChain = 8;
    for (int chained = 0; !requested_.empty(); ++chained) {
        const std::wstring next = requested_.front();
        requested_.erase(requested_.begin());
        if (chained < kLongestChain) NavigateOnce(next, {});
    }
}

}  // namespace sentrel::host
