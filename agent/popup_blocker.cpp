// New windows the user did not ask for are refused. A left click in the page
// (seen through the subclassed child windows) marks the agent for 250 ms; a
// navigation uses the mark up, and a click on a script link lets the one
// window its script opens through.
#include "agent/entry_guard.h"
#include "agent/event_arguments.h"
#include "agent/sentrel_agent.h"
#include "support/ascii.h"
#include "support/text.h"
#include "support/unique_any.h"

#include <cstring>
#include <mutex>

namespace sentrel::agent {
namespace {

constexpr UINT kClickWindowMs = 250;

// The agent that saw the most recent left click, shared by every browser
// thread of the process; the lock keeps a firing timer off an agent that is
// being destroyed.
std::mutex clickedAgentLock;
CSentrelAgent* g_pClickedAgent = nullptr;

bool KeyDown(int key) {
    return (GetKeyState(key) & 0x8000) != 0;
}

}  // namespace

bool CSentrelAgent::OnMessage(HWND, UINT message, WPARAM, LPARAM, int, int) noexcept {
    GuardCallback("Sentrel", __LINE__, [&] {
        if (message != WM_LBUTTONDOWN) return;
        if (KeyDown(VK_SHIFT)) {
            m_bAllowNewWindow = 1;
            return;
        }
        m_bUserClicked = 1;
        {
            std::lock_guard<std::mutex> guard(clickedAgentLock);
            g_pClickedAgent = this;
        }
        // No window: the system picks the id, and every click gets a timer of its own.
        SetTimer(nullptr, 100, kClickWindowMs, ClickTimerProc);
    });
    return false;
}

void CALLBACK CSentrelAgent::ClickTimerProc(HWND, UINT, UINT_PTR id, DWORD) noexcept {
    GuardCallback("Sentrel", __LINE__, [&] {
        KillTimer(nullptr, id);
        std::lock_guard<std::mutex> guard(clickedAgentLock);
        if (g_pClickedAgent) g_pClickedAgent->m_bUserClicked = 0;
    });
}

void CSentrelAgent::ForgetClickedAgent(CSentrelAgent* agent) noexcept {
    std::lock_guard<std::mutex> guard(clickedAgentLock);
    if (g_pClickedAgent == agent) g_pClickedAgent = nullptr;
}

void CSentrelAgent::ApplyClickRule(const std::string& address) {
    if (m_bUserClicked) {
        const char* text = address.c_str();
        m_bAllowNewWindow = std::strncmp(text, "javascript", 10) == 0 || std::strncmp(text, "vbscript", 8) == 0;
        m_bUserClicked = 0;
    } else {
        m_bAllowNewWindow = 0;
    }
}

bool CSentrelAgent::NewWindowAllowed() {
    if (m_bUserClicked || m_bAllowNewWindow || KeyDown(VK_CONTROL)) return true;
    if (m_spWebBrowser) {
        qz_support::UniqueBstr location;
        qz_support::ThrowIfFailed(m_spWebBrowser->get_LocationURL(location.put()), m_spWebBrowser.get());
        // No current address: nothing to call secure.
        if (location && std::wcsncmp(location.get(), L"https:", 6) == 0) return true;
    }
    return m_spController && m_spController->AllowPopup() == S_OK;
}

void CSentrelAgent::OnNewWindow2(DISPPARAMS* params) {
    const EventArguments arguments(params, 2);
    VARIANT_BOOL& cancel = arguments.Flag(0);
    const bool allowed = NewWindowAllowed();
    cancel = allowed ? VARIANT_FALSE : VARIANT_TRUE;
    m_bAllowNewWindow = 0;
    m_bUserClicked = 0;
}

bool CSentrelAgent::OnMenuPopup(HWND, HMENU menu) noexcept {
    m_nNewWindowCmd = -1;
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        char text[256] = {};
        MENUITEMINFOA item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
        item.dwTypeData = text;
        item.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &item)) continue;
        if (EqualsIgnoringAsciiCase(std::string_view(text), "Open In &New Window")) {
            m_nNewWindowCmd = static_cast<LONG>(item.wID);
            break;
        }
    }
    return false;
}

UINT CSentrelAgent::OnMenuCommand(HWND, WPARAM, UINT command) noexcept {
    if (m_nNewWindowCmd != -1 && command == static_cast<UINT>(m_nNewWindowCmd)) m_bAllowNewWindow = 1;
    m_nNewWindowCmd = -1;
    return command;
}

}  // namespace sentrel::agent
