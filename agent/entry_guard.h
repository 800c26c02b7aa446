// The guard around the agent's COM methods: a CComEntryPoint for the method,
// a COM error becomes the method's result with its error information handed
// on, anything else is reported and becomes E_UNEXPECTED.
#pragma once

#include "agent/agent_module.h"
#include "support/com_error.h"
#include "support/entry_points.h"

namespace sentrel::agent {

template <typename Work>
HRESULT GuardComMethod(int line, REFIID interfaceId, Work&& work) noexcept {
    try {
        qz_support::CComEntryPoint entry("Sentrel", line, ModuleInstance(), interfaceId, CLSID_SentrelAgent);
        try {
            return work();
        } catch (const _com_error& error) {
            qz_support::PassErrorInfo(error);
            return error.Error();
        } catch (...) {
            qz_support::ReportError(E_UNEXPECTED);
            SetErrorInfo(0, nullptr);
            return E_UNEXPECTED;
        }
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The same around a callback that has no result to give: hook, timer, sink.
template <typename Work>
void GuardCallback(const char* file, int line, Work&& work) noexcept {
    try {
        qz_support::CCallStackEntry entry(file, line, ModuleInstance());
        try {
            work();
        } catch (const _com_error& error) {
            qz_support::PassErrorInfo(error);
        } catch (...) {
            qz_support::ReportError(E_UNEXPECTED);
            SetErrorInfo(0, nullptr);
        }
    } catch (...) {
    }
}

}  // namespace sentrel::agent
