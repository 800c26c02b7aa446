// The agent's cost, measured in one run against the real controller:
// the median handling of one navigation to an allowed address
// (BeforeNavigate2 with its controller call and log record, and
// NavigateComplete2) beside the bare IsURLOK round trip, the two timed in
// turn, and 10,000 WM_MOUSEMOVE messages to a child window that the agent
// follows beside one that it does not.
#include "policy/connect_controller.h"
#include "support/unique_any.h"
#include "tools/browser_host/host_session.h"
#include "tools/client/controller_client.h"
#include "tools/timing/median_timer.h"

#include <cstdio>

namespace {

constexpr int kNavigations = 2000;
constexpr int kMouseMoves = 10000;

double MouseMovesMilliseconds(HWND window) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kMouseMoves; ++i) SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(i % 100, i % 50));
    QueryPerformanceCounter(&end);
    return 1e3 * sentrel::timing::SecondsBetween(start, end);
}

}  // namespace

int main() {
    using namespace sentrel;
    if (FAILED(CoInitialize(nullptr))) return 1;
    if (client::RunProgram(L"\"" + client::ControllerProgram() + L"\" /RegServer") != 0) return 1;
    client::RunProgram(L"net stop rpcss");  // forget controllers ended before this run
    if (client::RunProgram(L"regsvr32 /s \"" + client::AgentLibrary() + L"\"") != 0) return 1;
    client::StoreSettingsDocument(
        "<lockSettings active=\"Y\" blockPopups=\"Y\" errorPage=\"\"><host name=\"allowed.example\"/></lockSettings>");

    int result = 0;
    {
        host::BrowserWindow window("IEFrame");
        qz_support::ComPtr<ISentrelController> controller;
        if (window.Helpers().size() != 1 || FAILED(ConnectController(controller))) return 1;
        const wchar_t* address = L"http://www.allowed.example/some/page.htm?q=1";
        qz_support::UniqueBstr url(SysAllocString(address));
        if (controller->IsURLOK(url.get()) != S_OK || window.Browser().Navigate(address).cancelled) return 1;
        for (int i = 0; i < 200; ++i) controller->IsURLOK(url.get());  // warm up

        const auto [bare, handled] = timing::InterleavedMedianMicroseconds(
            kNavigations, [&] { controller->IsURLOK(url.get()); }, [&] { window.Browser().Navigate(address); });
        std::printf("agent, median of %d taken in turn: BeforeNavigate2 handled %.1f us, bare IsURLOK round trip "
                    "%.1f us, the agent's own %.1f us, ratio %.2f (target at most 1.1)\n",
                    kNavigations, handled, bare, handled - bare, handled / bare);

        const HWND followed = window.Page();
        const HWND plainParent = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                                 nullptr, nullptr);
        const HWND plain = CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, plainParent, nullptr, nullptr,
                                           nullptr);
        if (SendMessageA(followed, RegisterWindowMessageA("WBCC"), 0, 0) != 1) result = 1;
        MouseMovesMilliseconds(followed);  // warm up
        const double followedMs = MouseMovesMilliseconds(followed);
        const double plainMs = MouseMovesMilliseconds(plain);
        std::printf("%d WM_MOUSEMOVE: followed child %.2f ms, plain child %.2f ms, ratio %.2f\n", kMouseMoves,
                    followedMs, plainMs, followedMs / plainMs);
        DestroyWindow(plainParent);
    }
    DeleteFileA("C:\\Sentrel.log");
    client::EndControllers();
    CoUninitialize();
    return result;
}
