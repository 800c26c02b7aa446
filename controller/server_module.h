// The controller process's server state: the module lock count, the
// shutdown monitor that ends the message loop once no lock has been held for
// five seconds, and the way to the controller window.
#pragma once

#include "support/unique_any.h"

#include <windows.h>

namespace sentrel {

class ServerModule {
public:
    explicit ServerModule(HINSTANCE instance);
    ServerModule(const ServerModule&) = delete;
    ServerModule& operator=(const ServerModule&) = delete;

    HINSTANCE Instance() const { return instance_; }

    // Interlocked; returns the new count. Dropping to zero sets the activity
    // flag and signals the shutdown monitor.
    LONG Lock();
    LONG Unlock();
    LONG LockCount() const { return lockCount_; }

    // Starts the monitor thread; false when it could not be started.
    bool StartShutdownMonitor();

    // The controller window, once the controller object exists.
    void SetControllerWindow(const HWND* window) { controllerWindow_ = window; }
    HWND ControllerWindow() const { return controllerWindow_ ? *controllerWindow_ : nullptr; }

private:
    static DWORD WINAPI MonitorShutdown(void* self);

    HINSTANCE instance_;
    DWORD mainThreadId_;
    volatile LONG lockCount_ = 0;
    volatile LONG activity_ = 0;
    qz_support::UniqueHandle shutdownEvent_;
    qz_support::UniqueHandle monitorThread_;
    const HWND* controllerWindow_ = nullptr;
};

}  // namespace sentrel
