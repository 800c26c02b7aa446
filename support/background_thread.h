// A thread of the controller that runs for the rest of the process and can
// be asked to stop. The body gets the stop event and should wait on it
// wherever it would wait anyway; the owner signals the event when it goes
// away and gives the thread a short time to end. A thread that does not end
// in time is left running: everything it uses is its own.
#pragma once

#include "support/unique_any.h"

#include <functional>
#include <memory>

namespace qz_support {

class BackgroundThread {
public:
    using Body = std::function<void(HANDLE stopEvent)>;

    BackgroundThread() = default;
    BackgroundThread(const BackgroundThread&) = delete;
    BackgroundThread& operator=(const BackgroundThread&) = delete;
    ~BackgroundThread();

    // Starts `body` on a new thread; false when the thread, its event or its
    // shared state could not be created (the body then never runs).
    bool Start(Body body) noexcept;

    // Signals the stop event and waits up to `timeoutMs` for the thread to
    // end; true when it has ended (or never started).
    bool Stop(DWORD timeoutMs = 3000);

private:
    bool WaitForEnd(DWORD timeoutMs) const;

    struct Shared {
        UniqueHandle stop;
        Body body;
    };
    static DWORD WINAPI Run(void* shared);

    std::shared_ptr<Shared> shared_;
    UniqueHandle thread_;
};

}  // namespace qz_support
