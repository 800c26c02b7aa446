#include "controller/server_module.h"

namespace sentrel {

namespace {
constexpr DWORD kShutdownQuietMs = 5000;
}

ServerModule::ServerModule(HINSTANCE instance) : instance_(instance), mainThreadId_(GetCurrentThreadId()) {}

LONG ServerModule::Lock() {
    return InterlockedIncrement(&lockCount_);
}

LONG ServerModule::Unlock() {
    const LONG count = InterlockedDecrement(&lockCount_);
    if (count == 0) {
        InterlockedExchange(&activity_, 1);
        if (shutdownEvent_) SetEvent(shutdownEvent_.get());
    }
    return count;
}

bool ServerModule::StartShutdownMonitor() {
    shutdownEvent_.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!shutdownEvent_) return false;
    monitorThread_.reset(CreateThread(nullptr, 0, MonitorShutdown, this, 0, nullptr));
    return static_cast<bool>(monitorThread_);
}

// Waits for the lock count to drop to zero, then for a quiet period in which
// no lock was taken and released again; then ends the message loop.
DWORD WINAPI ServerModule::MonitorShutdown(void* parameter) {
    auto* self = static_cast<ServerModule*>(parameter);
    const HANDLE event = self->shutdownEvent_.get();
    for (;;) {
        WaitForSingleObject(event, INFINITE);
        DWORD wait;
        do {
            InterlockedExchange(&self->activity_, 0);
            wait = WaitForSingleObject(event, kShutdownQuietMs);
        } while (wait == WAIT_OBJECT_0);
        if (self->activity_ == 0 && self->lockCount_ == 0) {
            PostThreadMessageA(self->mainThreadId_, WM_QUIT, 0, 0);
            return 0;
        }
    }
}

}  // namespace sentrel
