// Every navigation is put to the controller and written to the log; a
// refused one is cancelled and replaced by the error page, a message box or,
// inside a frame, the "Blocked by Sentrel" banner. Shell folder windows add
// two rules of their own: bare words are refused, and nothing is refused
// while the folder shown lies inside a ".zip" folder.
#include "agent/agent_module.h"
#include "agent/controller_connection.h"
#include "agent/event_arguments.h"
#include "agent/navigation_log.h"
#include "agent/sentrel_agent.h"
#include "support/ascii.h"
#include "support/log_location.h"
#include "support/text.h"
#include "support/unique_any.h"

#include <mshtml.h>
#include <shldisp.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace sentrel::agent {
namespace {

using qz_support::ComPtr;
using qz_support::ThrowIfFailed;
using qz_support::UniqueBstr;

// Argument positions of BeforeNavigate2 (reverse order).
constexpr UINT kNavigatorArgument = 6;
constexpr UINT kAddressArgument = 5;
constexpr UINT kTargetFrameArgument = 3;
constexpr UINT kCancelArgument = 0;
constexpr UINT kBeforeNavigateArguments = 7;
// ... and of NavigateComplete2.
constexpr UINT kCompletedNavigatorArgument = 1;
constexpr UINT kCompletedAddressArgument = 0;
constexpr UINT kNavigateCompleteArguments = 2;

constexpr size_t kAskedNavigationsKept = 32;

// The object's identity (its IUnknown), for comparison only: the reference
// is given back at once.
const IUnknown* IdentityOf(IDispatch* object) {
    if (!object) return nullptr;
    qz_support::ComPtr<IUnknown> unknown;
    if (FAILED(object->QueryInterface(IID_IUnknown, unknown.put_void())) || !unknown) return object;
    return unknown.get();
}

// The interface, or null when the object does not have it; any failure other
// than E_NOINTERFACE is raised.
template <typename Interface>
ComPtr<Interface> QueryOptional(IUnknown* object) {
    ComPtr<Interface> result;
    if (!object) return result;
    const HRESULT hr = object->QueryInterface(__uuidof(Interface), result.put_void());
    if (hr != E_NOINTERFACE) ThrowIfFailed(hr);
    return result;
}

std::string NarrowOf(BSTR text) {
    return text ? ToNarrow(WideView(reinterpret_cast<const char16_t*>(text), SysStringLen(text))) : std::string();
}

bool IsBareWord(const std::string& address) {
    for (char c : address) {
        if (!IsAsciiAlphanumeric(c)) return false;
    }
    return true;
}

bool TitleEndsInZip(BSTR title) {
    const std::string text = NarrowOf(title);
    return text.size() > 4 && EndsWithIgnoringAsciiCase(std::string_view(text), ".zip");
}

// <CENTER><IMG SRC="res://<short module path>/LOCKED.GIF">Blocked by Sentrel</CENTER>
std::wstring BlockedBanner() {
    char longPath[260] = {};
    char shortPath[260] = {};
    GetModuleFileNameA(ModuleInstance(), longPath, sizeof longPath);
    GetShortPathNameA(longPath, shortPath, sizeof shortPath);
    const WideString path = ToWide(shortPath);
    std::wstring banner = L"<CENTER><IMG SRC=\"res://";
    banner.append(path.begin(), path.end());
    banner += L"/LOCKED.GIF\">Blocked by Sentrel</CENTER>";
    return banner;
}

VARIANT MissingArgument() {
    VARIANT missing;
    VariantInit(&missing);
    V_VT(&missing) = VT_ERROR;
    V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
    return missing;
}

}  // namespace

HRESULT CSentrelAgent::OnBeforeNavigate2(DISPPARAMS* params) {
    const EventArguments arguments(params, kBeforeNavigateArguments);
    const BSTR address = arguments.String(kAddressArgument);
    const std::string narrow = NarrowOf(address);
    VARIANT_BOOL& cancel = arguments.Flag(kCancelArgument);

    bool zipFolder = false;
    bool bareWord = false;
    if (m_bShellWindow) {
        zipFolder = LeavesZipFolder();
        bareWord = IsBareWord(narrow);
    }

    bool answered = false;
    const bool refused = Refused(address, narrow, zipFolder, bareWord, &answered);
    ApplyClickRule(narrow);
    if (!refused) {
        RememberAsked(arguments.Dispatch(kNavigatorArgument), address, arguments.Variant(kTargetFrameArgument));
        return S_OK;
    }

    cancel = VARIANT_TRUE;
    ShowRefusal(arguments.Dispatch(kNavigatorArgument), &arguments.Variant(kTargetFrameArgument), answered);
    return S_OK;
}

bool CSentrelAgent::Refused(BSTR address, const std::string& narrow, bool zipFolder, bool bareWord,
                            bool* answeredOut) {
    const HRESULT answer = AskController(address);
    AppendLogRecord(kLogPath, answer, narrow);
    // The controller's two answers stand under any policy. Without one the
    // navigation goes ahead, unless the machine's policy says to refuse it
    // as the controller would; under that policy no other result counts as
    // an answer. So the policy is looked at only when the controller gave
    // neither answer.
    bool answered = answer == S_OK || answer == S_FALSE;
    bool refusedUnanswered = false;
    if (!answered) {
        refusedUnanswered = FailsClosed();
        answered = !refusedUnanswered && SUCCEEDED(answer);
    }
    *answeredOut = answered;
    return !zipFolder && (bareWord || answer == S_FALSE || refusedUnanswered);
}

void CSentrelAgent::RememberAsked(IDispatch* navigator, BSTR address, const VARIANT& targetFrame) {
    const IUnknown* identity = IdentityOf(navigator);
    std::wstring frameName;
    if (V_VT(&targetFrame) == VT_BSTR && V_BSTR(&targetFrame))
        frameName.assign(V_BSTR(&targetFrame), SysStringLen(V_BSTR(&targetFrame)));
    std::erase_if(asked_, [identity](const AskedNavigation& asked) { return asked.navigator == identity; });
    // A window has a handful of frames; one that keeps making new ones only
    // pushes the oldest out (it is then asked again when it completes).
    if (asked_.size() >= kAskedNavigationsKept) asked_.erase(asked_.begin());
    asked_.push_back({identity, std::wstring(address ? address : L"", SysStringLen(address)),
                      std::move(frameName)});
}

// The browser reports where a navigation arrived. When that is not the
// address asked about at BeforeNavigate2 (a redirect, by the server or by the
// page), the arrival is asked about too, and a refusal is shown as at
// BeforeNavigate2: the error page or the message box, or the banner in a frame.
void CSentrelAgent::OnNavigateComplete2(DISPPARAMS* params) {
    const EventArguments arguments(params, kNavigateCompleteArguments);
    IDispatch* navigator = arguments.Dispatch(kCompletedNavigatorArgument);
    const VARIANT& url = arguments.Variant(kCompletedAddressArgument);
    if (V_VT(&url) != VT_BSTR) return;
    const BSTR address = V_BSTR(&url);
    const std::wstring reached(address ? address : L"", SysStringLen(address));

    const IUnknown* identity = IdentityOf(navigator);
    const auto asked = std::find_if(asked_.begin(), asked_.end(),
                                    [identity](const AskedNavigation& entry) { return entry.navigator == identity; });
    if (asked != asked_.end() && asked->address == reached) return;
    const std::wstring frameName = asked != asked_.end() ? asked->frameName : std::wstring();

    bool answered = false;
    if (!Refused(address, NarrowOf(address), false, false, &answered)) {
        if (asked != asked_.end()) asked->address = reached;
        return;
    }
    UniqueBstr frameText(SysAllocString(frameName.c_str()));
    VARIANT frame;
    VariantInit(&frame);
    V_VT(&frame) = VT_BSTR;
    V_BSTR(&frame) = frameText.get();  // borrowed by the call below
    ShowRefusal(navigator, &frame, answered);
}

// Walks up from the folder shown; true when it or an ancestor is titled "*.zip".
// A folder that cannot be read is no zip folder: the question is still asked.
bool CSentrelAgent::LeavesZipFolder() {
    if (!m_spWebBrowser) return false;
    ComPtr<IDispatch> document;
    if (FAILED(m_spWebBrowser->get_Document(document.put())) || !document) return false;
    ComPtr<IShellFolderViewDual> view;
    if (FAILED(document->QueryInterface(IID_IShellFolderViewDual, view.put_void()))) return false;
    ComPtr<Folder> folder;
    if (FAILED(view->get_Folder(folder.put()))) return false;
    while (folder) {
        UniqueBstr title;
        if (SUCCEEDED(folder->get_Title(title.put())) && TitleEndsInZip(title.get())) return true;
        ComPtr<Folder> parent;
        if (FAILED(folder->get_ParentFolder(parent.put()))) break;
        folder = parent;
    }
    return false;
}

// IsURLOK, with one connection attempt per navigation: a window whose
// controller was lost connects again, and a call that fails on a held
// controller reconnects and tries once more. Without an answer the failure
// is returned and the navigation goes ahead.
HRESULT CSentrelAgent::AskController(BSTR address) {
    if (!m_spController) {
        const HRESULT connected = ConnectAgentController(m_spController);
        return FAILED(connected) ? connected : m_spController->IsURLOK(address);
    }
    HRESULT answer = m_spController->IsURLOK(address);
    if (FAILED(answer) && SUCCEEDED(ConnectAgentController(m_spController)))
        answer = m_spController->IsURLOK(address);
    return answer;
}

void CSentrelAgent::ShowRefusal(IDispatch* navigator, const VARIANT* targetFrame, bool controllerAnswered) {
    bool frame = false;
    if (const auto browser = QueryOptional<IWebBrowser2>(navigator)) {
        VARIANT_BOOL topLevel = VARIANT_TRUE;
        ThrowIfFailed(browser->get_TopLevelContainer(&topLevel), browser.get());
        frame = topLevel == VARIANT_FALSE;
    }
    if (frame) {
        ReplaceFrameWithBanner(targetFrame);
    } else {
        ShowErrorPageOrMessage(controllerAnswered);
    }
}

// The error page is the controller's: without an answer none is known. It
// is shown only when the controller lets it through (a question that is not
// logged: it is no navigation); a refused error page would be refused again
// at its own BeforeNavigate2, which would navigate to it again, without end.
void CSentrelAgent::ShowErrorPageOrMessage(bool controllerAnswered) {
    UniqueBstr page;
    if (controllerAnswered && m_spController)
        ThrowIfFailed(m_spController->GetErrorPage(page.put()), m_spController.get());
    if (page && SysStringLen(page.get()) > 0 && m_spController->IsURLOK(page.get()) == S_OK) {
        VARIANT address;
        V_VT(&address) = VT_BSTR;
        V_BSTR(&address) = page.get();
        VARIANT flags = MissingArgument(), target = MissingArgument(), postData = MissingArgument(),
                headers = MissingArgument();
        qz_support::CheckPointer(m_spWebBrowser.get())->Navigate2(&address, &flags, &target, &postData, &headers);
        return;
    }
    MessageBoxA(GetActiveWindow(), "Site Not Allowed by Sentrel", "Sentrel", MB_ICONHAND | MB_OK);
}

void CSentrelAgent::ReplaceFrameWithBanner(const VARIANT* targetFrame) {
    ComPtr<IDispatch> document;
    ThrowIfFailed(qz_support::CheckPointer(m_spWebBrowser.get())->get_Document(document.put()));
    const auto html = QueryOptional<IHTMLDocument2>(document.get());
    if (!html) return;
    ComPtr<IHTMLElementCollection> all;
    ThrowIfFailed(html->get_all(all.put()), html.get());
    if (!all) return;

    VARIANT name;
    VariantInit(&name);
    if (V_VT(targetFrame) == VT_BSTR) name = *targetFrame;  // borrowed, not freed here
    if (V_VT(&name) != VT_BSTR) {
        V_VT(&name) = VT_BSTR;
        V_BSTR(&name) = nullptr;
    }
    ComPtr<IDispatch> item;
    ThrowIfFailed(all->item(name, MissingArgument(), item.put()), all.get());
    const auto element = QueryOptional<IHTMLElement>(item.get());
    if (!element) return;
    UniqueBstr banner(SysAllocString(BlockedBanner().c_str()));
    if (!banner) qz_support::RaiseComError(E_OUTOFMEMORY, nullptr);
    ThrowIfFailed(element->put_outerHTML(banner.get()), element.get());
}

}  // namespace sentrel::agent
