// The support library's guards bound to the agent: its module instance, and
// for COM methods the source file name "Sentrel" and the agent's class id.
#pragma once

#include "agent/agent_module.h"
#include "support/entry_points.h"

#include <utility>

namespace sentrel::agent {

template <typename Work>
HRESULT GuardComMethod(int line, REFIID interfaceId, Work&& work) noexcept {
    return qz_support::GuardComEntry("Sentrel", line, ModuleInstance(), interfaceId, CLSID_SentrelAgent,
                                     std::forward<Work>(work));
}

// A callback that has no one to give a failure to: hook, timer, sink, export.
template <typename Work>
void GuardCallback(const char* file, int line, Work&& work) noexcept {
    qz_support::GuardCallbackEntry(file, line, ModuleInstance(), std::forward<Work>(work));
}

// The same with a result, `failed` after a failure.
template <typename Result, typename Work>
Result GuardCallback(const char* file, int line, Result failed, Work&& work) noexcept {
    return qz_support::GuardCallbackEntry(file, line, ModuleInstance(), failed, std::forward<Work>(work));
}

}  // namespace sentrel::agent
