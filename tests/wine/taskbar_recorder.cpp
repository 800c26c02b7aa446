#include "tests/wine/taskbar_recorder.h"

#include <algorithm>

namespace sentrel::testing {
namespace {

constexpr const char* kTaskbarClass = "Shell_TrayWnd";

// The leading fields of Wine's platform-independent notification record.
struct WireRequest {
    LONG owner;
    UINT id;
    UINT flags;
    UINT callbackMessage;
};

}  // namespace

TaskbarRecorder::TaskbarRecorder() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kTaskbarClass;
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(WS_EX_TOOLWINDOW, kTaskbarClass, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleA(nullptr), this);
}

TaskbarRecorder::~TaskbarRecorder() {
    if (window_) DestroyWindow(window_);
}

size_t TaskbarRecorder::Count(DWORD message) const {
    return static_cast<size_t>(std::count_if(requests_.begin(), requests_.end(),
                                             [&](const TrayRequest& r) { return r.message == message; }));
}

void TaskbarRecorder::Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < milliseconds) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

LRESULT CALLBACK TaskbarRecorder::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<TaskbarRecorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COPYDATA && self) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->cbData >= sizeof(WireRequest)) {
            const auto* wire = static_cast<const WireRequest*>(data->lpData);
            self->requests_.push_back({static_cast<DWORD>(data->dwData),
                                       reinterpret_cast<HWND>(static_cast<LONG_PTR>(wire->owner)), wire->id,
                                       wire->flags, wire->callbackMessage});
        }
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace sentrel::testing
