#include "agent/late_bound_ole.h"

namespace sentrel::agent {

ActivationCalls LateBoundActivationCalls() {
    // Bound once per process; ole32 stays loaded for the process's lifetime.
    static const ActivationCalls calls = [] {
        ActivationCalls bound;
        if (const HMODULE ole = LoadLibraryA("ole32.dll")) {
            bound.create = reinterpret_cast<decltype(&CoCreateInstance)>(
                reinterpret_cast<void*>(GetProcAddress(ole, "CoCreateInstance")));
            bound.run = reinterpret_cast<decltype(&OleRun)>(reinterpret_cast<void*>(GetProcAddress(ole, "OleRun")));
        }
        return bound;
    }();
    return calls;
}

}  // namespace sentrel::agent
