// Raising COM errors inside the program. Every failed COM call becomes a
// _com_error that carries the HRESULT and, when the thread's error
// information belongs to that failure, the error information too.
#pragma once

#include <windows.h>
#include <comdef.h>

namespace qz_support {

// Raises a _com_error with `hr` and `info` (which it takes over); never returns.
[[noreturn]] void RaiseComError(HRESULT hr, IErrorInfo* info);

// Raises `hr` when it is a failure; returns `hr` (a success code) otherwise.
// The thread's error information goes along only when it belongs to this
// failure: when `object` says it supports error information for the
// interface `iid` that was called. Without an object the HRESULT is raised
// alone, so an error left over from an earlier failure is never shown as
// this one's.
HRESULT ThrowIfFailed(HRESULT hr, IUnknown* object = nullptr, REFIID iid = IID_NULL);

// The same, with the interface taken from the object's type.
template <typename Interface>
HRESULT ThrowIfFailed(HRESULT hr, Interface* object) {
    return ThrowIfFailed(hr, static_cast<IUnknown*>(object), __uuidof(Interface));
}

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
