// A stand-in for the shell's taskbar: a top-level window of the taskbar's
// class that Shell_NotifyIcon finds first and sends its requests to. Wine's
// shell passes each request as WM_COPYDATA whose data starts with the owner
// window, icon id, flags and callback message.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <vector>

namespace sentrel::testing {

struct TrayRequest {
    DWORD message;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
    HWND owner;
    UINT id;
    UINT flags;
    UINT callbackMessage;
};

class TaskbarRecorder {
public:
    TaskbarRecorder();
    TaskbarRecorder(const TaskbarRecorder&) = delete;
    TaskbarRecorder& operator=(const TaskbarRecorder&) = delete;
    ~TaskbarRecorder();

    const std::vector<TrayRequest>& Requests() const { return requests_; }
    size_t Count(DWORD message) const;

    // Handles this thread's messages for `milliseconds`, so that requests
    // from other processes arrive.
    static void Pump(DWORD milliseconds);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    std::vector<TrayRequest> requests_;
};

}  // namespace sentrel::testing
