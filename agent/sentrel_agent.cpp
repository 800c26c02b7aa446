#include "agent/sentrel_agent.h"

#include "agent/agent_module.h"
#include "agent/controller_connection.h"
#include "agent/entry_guard.h"
#include "agent/late_bound_ole.h"
#include "policy/connect_controller.h"
#include "support/ascii.h"

#include <exdispid.h>
#include <new>
#include <shlguid.h>
#include <utility>

namespace sentrel::agent {
namespace {

using qz_support::ComPtr;
using qz_support::ThrowIfFailed;

// IDeskBand: the interface id the site methods' guards name.
const IID kDeskBandId = {0xEB0FE172, 0x1A3A, 0x11D0, {0x89, 0xB3, 0x00, 0xA0, 0xC9, 0x0A, 0x90, 0xAC}};

// Whether the browser's top-level window is a shell folder window.
bool IsShellWindowClass(HWND window) {
    char name[1024] = {};
    GetClassNameA(window, name, sizeof name);
    return StartsWithIgnoringAsciiCase(std::string_view(name), "Explore") ||
           StartsWithIgnoringAsciiCase(std::string_view(name), "Cabinet");
}

HWND TopLevelWindowOf(IWebBrowser2* browser) {
    SHANDLE_PTR handle = 0;
    ThrowIfFailed(qz_support::CheckPointer(browser)->get_HWND(&handle), browser);
    return reinterpret_cast<HWND>(handle);
}

// The window of the browser's shell browser. In a tabbed browser every tab
// has one of its own below the frame window that get_HWND gives for all
// tabs alike. Null when the site offers none.
HWND ShellBrowserWindowOf(IServiceProvider* services) {
    ComPtr<IOleWindow> shellBrowser;
    if (FAILED(services->QueryService(SID_SShellBrowser, IID_IOleWindow, shellBrowser.put_void())) || !shellBrowser)
        return nullptr;
    HWND window = nullptr;
    return SUCCEEDED(shellBrowser->GetWindow(&window)) ? window : nullptr;
}

}  // namespace

HRESULT CSentrelAgent::Create(IUnknown* outer, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    auto* agent = new (std::nothrow) CSentrelAgent(outer);
    if (!agent) return E_OUTOFMEMORY;
    agent->FinalConstruct();
    IUnknown* inner = agent->NonDelegatingUnknown();
    const HRESULT hr = inner->QueryInterface(iid, object);
    inner->Release();  // the creator's reference: destroys the agent when the query failed
    return hr;
}

CSentrelAgent::CSentrelAgent(IUnknown* outer) : AggregatableComObject(outer) {
    LockModule();
}

CSentrelAgent::~CSentrelAgent() {
    // Released without OnQuit: nothing may reach this agent any more.
    ForgetSinks(this, this);
    ForgetClickedAgent(this);
    Unadvise();
    m_spWebBrowser.reset();
    m_spController.reset();
    UnlockModule();
}

void CSentrelAgent::FinalConstruct() noexcept {
    // A controller that cannot be reached leaves the reference null; the
    // browser gets its agent all the same.
    ConnectAgentController(m_spController);
}

STDMETHODIMP CSentrelAgent::SetSite(IUnknown* site) {
    return GuardComMethod(__LINE__, kDeskBandId, [&]() -> HRESULT {
        if (!site) return S_OK;
        ComPtr<IOleCommandTarget> commandTarget;
        const HRESULT hr = site->QueryInterface(IID_IOleCommandTarget, commandTarget.put_void());
        if (hr == E_NOINTERFACE) return S_OK;
        ThrowIfFailed(hr);
        return Attach(commandTarget.get());
    });
}

HRESULT CSentrelAgent::Attach(IUnknown* commandTarget) {
    // A second site replaces the first one: its registrations and event
    // connection are undone first.
    Detach();

    ComPtr<IServiceProvider> services;
    const HRESULT hr = commandTarget->QueryInterface(IID_IServiceProvider, services.put_void());
    if (hr == E_NOINTERFACE) return S_OK;
    ThrowIfFailed(hr);
    services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, m_spWebBrowser.put_void());
    if (!m_spWebBrowser) qz_support::RaiseComError(E_POINTER, nullptr);

    // Without an event connection the agent simply hears nothing.
    if (auto container = m_spWebBrowser.try_query<IConnectionPointContainer>()) {
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put())) && point) {
            DWORD cookie = 0;
            if (SUCCEEDED(point->Advise(static_cast<IObjectWithSite*>(this), &cookie))) {
                m_dwEventCookie = cookie;
                eventConnection_ = point;
            }
        }
    }

    // The shell-window rules go by the top-level window; the clicks are
    // followed below the tab's own window, so that each tab's clicks reach
    // its own agent.
    const HWND topLevel = TopLevelWindowOf(m_spWebBrowser.get());
    m_bShellWindow = IsShellWindowClass(topLevel) ? 1 : 0;
    const HWND tab = ShellBrowserWindowOf(services.get());
    registeredWindow_ = tab ? tab : topLevel;
    RegisterMenuSink(registeredWindow_, this);
    RegisterMessageSink(registeredWindow_, this);
    return S_OK;
}

void CSentrelAgent::Detach() noexcept {
    if (registeredWindow_) UnregisterMenuSink(std::exchange(registeredWindow_, nullptr), this);
    UnregisterMessageSink(this);
    Unadvise();
    m_spWebBrowser.reset();
}

void CSentrelAgent::OnQuit() {
    Detach();
}

bool CSentrelAgent::TryRetainSink() {
    return TryAddInnerReference();
}

void CSentrelAgent::ReleaseSink() {
    NonDelegatingUnknown()->Release();
}

void CSentrelAgent::Unadvise() noexcept {
    if (eventConnection_) eventConnection_->Unadvise(m_dwEventCookie);
    eventConnection_.reset();
    m_dwEventCookie = 0;
}

STDMETHODIMP CSentrelAgent::GetSite(REFIID, void** site) {
    return GuardComMethod(__LINE__, kDeskBandId, [&]() -> HRESULT {
        *qz_support::CheckPointer(site) = nullptr;
        return E_FAIL;
    });
}

STDMETHODIMP CSentrelAgent::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

// The agent has no type library: the lookup of the null library fails with
// the loader's error.
STDMETHODIMP CSentrelAgent::GetTypeInfo(UINT, LCID locale, ITypeInfo** info) {
    if (info) *info = nullptr;
    ComPtr<ITypeLib> library;
    const HRESULT hr = LoadRegTypeLib(GUID_NULL, 1, 0, locale, library.put());
    return FAILED(hr) ? hr : TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CSentrelAgent::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID locale, DISPID*) {
    ComPtr<ITypeLib> library;
    const HRESULT hr = LoadRegTypeLib(GUID_NULL, 1, 0, locale, library.put());
    return FAILED(hr) ? hr : DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CSentrelAgent::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    const HRESULT hr = GuardComMethod(__LINE__, IID_IDispatch, [&]() -> HRESULT {
        switch (id) {
        case DISPID_BEFORENAVIGATE2:
            return OnBeforeNavigate2(params);
        case DISPID_NAVIGATECOMPLETE2:
            OnNavigateComplete2(params);
            break;
        case DISPID_NEWWINDOW2:
            OnNewWindow2(params);
            break;
        case DISPID_ONQUIT:
            OnQuit();
            break;
        default:
            break;
        }
        return DISP_E_MEMBERNOTFOUND;
    });
    return FAILED(hr) ? DISP_E_MEMBERNOTFOUND : hr;
}

STDMETHODIMP CSentrelAgent::GetClassID(CLSID* classId) {
    return GuardComMethod(__LINE__, IID_IPersist, [&]() -> HRESULT {
        *qz_support::CheckPointer(classId) = CLSID_SentrelAgent;
        return S_OK;
    });
}

STDMETHODIMP CSentrelAgent::GetSizeMax(ULARGE_INTEGER* size) {
    return GuardComMethod(__LINE__, IID_IPersistStream, [&]() -> HRESULT {
        if (size) size->QuadPart = 0;
        return S_OK;
    });
}

STDMETHODIMP CSentrelAgent::InterfaceSupportsErrorInfo(REFIID iid) {
    HRESULT result = S_FALSE;
    GuardCallback("QZSupport", __LINE__, [&] {
        IUnknown* found = nullptr;
        if (SUCCEEDED(QueryInterface(iid, reinterpret_cast<void**>(&found))) && found) {
            found->Release();
            result = S_OK;
        }
    });
    return result;
}

}  // namespace sentrel::agent
