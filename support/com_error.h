// Raising COM errors inside the program. Every failed COM call becomes a
// _com_error that carries the HRESULT and, when the thread's error
// information belongs to that failure, the error information too.
#pragma once

#include <windows.h>
#include <comdef.h>

namespace qz_support {

// Raises a _com_error with `hr` and `info` (which it takes over); never returns.
[[noreturn]] void RaiseComError(HRESULT hr, IErrorInfo* info);

// Raises `hr` when it is a failure, taking the thread's current error
// information along. Returns `hr` (a success code) otherwise.
HRESULT ThrowIfFailed(HRESULT hr);

// Raises E_POINTER for a null pointer.
template <typename T>
T* CheckPointer(T* pointer) {
    if (!pointer) RaiseComError(E_POINTER, nullptr);
    return pointer;
}

// Hands the error information that `error` carries to the thread
// (SetErrorInfo), or clears the thread's error information when it has none.
void PassErrorInfo(const _com_error& error);

}  // namespace qz_support
