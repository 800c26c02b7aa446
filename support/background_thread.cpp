#include "support/background_thread.h"

#include "support/entry_points.h"

namespace qz_support {

BackgroundThread::~BackgroundThread() { Stop(); }

bool BackgroundThread::Start(Body body) noexcept try {
    Stop();
    auto shared = std::make_shared<Shared>();
    shared->stop.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!shared->stop) return false;
    shared->body = std::move(body);
    // The thread holds its own reference, so an owner that gave up waiting
    // can go away while the body still runs.
    auto* threadReference = new std::shared_ptr<Shared>(shared);
    thread_.reset(CreateThread(nullptr, 0, Run, threadReference, 0, nullptr));
    if (!thread_) {
        delete threadReference;
        return false;
    }
    shared_ = std::move(shared);
    return true;
} catch (...) {
    // No memory for the shared state: the body never runs.
    return false;
}

bool BackgroundThread::Stop(DWORD timeoutMs) {
    if (!thread_) return true;
    SetEvent(shared_->stop.get());
    const bool ended = WaitForEnd(timeoutMs);
    thread_.reset();
    shared_.reset();
    return ended;
}

// Messages sent to this thread's windows are handled while waiting: the
// thread may be blocked in a synchronous send to one of them.
bool BackgroundThread::WaitForEnd(DWORD timeoutMs) const {
    if (!thread_) return true;
    const HANDLE thread = thread_.get();
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD remaining = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, remaining, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

DWORD WINAPI BackgroundThread::Run(void* parameter) {
    const std::unique_ptr<std::shared_ptr<Shared>> shared(static_cast<std::shared_ptr<Shared>*>(parameter));
    // An exception must not leave the thread and end the process: the
    // thread ends instead.
    try {
        (*shared)->body((*shared)->stop.get());
    } catch (...) {
        qz_support::ReportCurrentException();
        return 1;
    }
    return 0;
}

}  // namespace qz_support
