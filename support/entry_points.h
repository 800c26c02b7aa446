// Guards for the program's entry points and the error reporting behind them.
//
// A guard is constructed first in a guarded function and records where the
// thread has entered the program; the catch handlers of the entry point use
// ReportError and ShowError. The record is a per-thread stack of frames that
// the error text names, so a shown error says where it surfaced.
#pragma once

#include "support/com_error.h"

#include <windows.h>
#include <comdef.h>

#include <functional>
#include <string>
#include <vector>

namespace qz_support {

struct CallFrame {
    const char* file;
    int line;
    UINT message;  // 0 outside message handlers
};

class CCallStackEntry {
public:
    CCallStackEntry(const char* file, int line, HINSTANCE instance);
    CCallStackEntry(const CCallStackEntry&) = delete;
    CCallStackEntry& operator=(const CCallStackEntry&) = delete;
    ~CCallStackEntry();

protected:
    CCallStackEntry(const char* file, int line, HINSTANCE instance, UINT message);
};

class CComEntryPoint : public CCallStackEntry {
public:
    CComEntryPoint(const char* file, int line, HINSTANCE instance, REFIID interfaceId, REFCLSID classId);
};

class CMessageEntryPoint : public CCallStackEntry {
public:
    CMessageEntryPoint(const char* file, int line, HINSTANCE instance, UINT message);
};

// The frames the current thread is inside, outermost first.
std::vector<CallFrame> CurrentCallStack();

// Records an unexpected failure from a catch-all and returns `error`. It
// shows nothing: the entry point's own policy decides what the user sees,
// so one failure never makes two message boxes.
long ReportError(long error);
// In a catch handler: reports the exception being handled (a COM error by
// its HRESULT, no memory as E_OUTOFMEMORY, anything else as E_UNEXPECTED)
// and returns the HRESULT reported.
long ReportCurrentException() noexcept;

// Runs `work`, whose failures must not leave its caller (a start step, a
// worker's pass, a function that never raises), inside a frame that names
// `file` and `line`. A failure it raises is reported; returns whether it ran
// to its end.
template <typename Work>
bool RunGuarded(const char* file, int line, Work&& work) noexcept {
    try {
        CCallStackEntry frame(file, line, nullptr);
        try {
            work();
            return true;
        } catch (...) {
            ReportCurrentException();
            return false;
        }
    } catch (...) {
        return false;  // no memory for the frame: the work never ran
    }
}

// The same for a failure that its entry point knows more about.
long ReportError(long error, const std::wstring& description);
// The text of the last report on this thread; empty when there was none.
std::wstring LastReportedError();

// Shows `error` to the user. `severity` and `beep` are accepted for the
// caller's convenience; the text names the HRESULT, its description and the
// innermost guarded frame. Returns true when the error was shown.
bool ShowError(const _com_error& error, long severity, bool beep);

// Announces the class that the next CoCreateInstance on this thread creates,
// so a creation failure can name it.
void SetNextCreateCLSID(REFCLSID classId);
CLSID NextCreateCLSID();

// Forgets the thread's guard record and announced class; called once when a
// module is loaded into a host process.
void ClearExceptionHandler();

// Where ShowError sends its text. The product shows a
// message box; tests install a recorder. Returns the previous display.
using ErrorDisplay = std::function<void(const std::wstring& text)>;
ErrorDisplay SetErrorDisplay(ErrorDisplay display);

// The guard of a COM method (or of an export that returns an HRESULT): runs
// `work` (returning HRESULT) inside a CComEntryPoint. A COM error becomes the
// result, its error information handed on to the thread; anything else is
// reported with ReportError(E_UNEXPECTED), the thread's error information is
// cleared and E_UNEXPECTED is the result.
template <typename Work>
HRESULT GuardComEntry(const char* file, int line, HINSTANCE instance, REFIID interfaceId, REFCLSID classId,
                      Work&& work) noexcept {
    try {
        CComEntryPoint entry(file, line, instance, interfaceId, classId);
        try {
            return work();
        } catch (const _com_error& error) {
            PassErrorInfo(error);
            return error.Error();
        } catch (...) {
            ReportError(E_UNEXPECTED);
            SetErrorInfo(0, nullptr);
            return E_UNEXPECTED;
        }
    } catch (...) {
        return E_UNEXPECTED;  // no memory for the guard's frame
    }
}

// The guard of a callback that nobody can hand a failure to (a hook, a
// timer, a sink, a module's entry point): runs `work` inside a
// CCallStackEntry. A COM error leaves its error information on the thread
// and is reported with its HRESULT; anything else is reported as
// E_UNEXPECTED and the error information is cleared. After a failure the
// callback's result is `failed`.
template <typename Result, typename Work>
Result GuardCallbackEntry(const char* file, int line, HINSTANCE instance, Result failed, Work&& work) noexcept {
    try {
        CCallStackEntry entry(file, line, instance);
        try {
            return work();
        } catch (const _com_error& error) {
            PassErrorInfo(error);
            ReportError(error.Error());
        } catch (...) {
            ReportError(E_UNEXPECTED);
            SetErrorInfo(0, nullptr);
        }
    } catch (...) {
    }
    return failed;
}

// The same for a callback without a result.
template <typename Work>
void GuardCallbackEntry(const char* file, int line, HINSTANCE instance, Work&& work) noexcept {
    GuardCallbackEntry(file, line, instance, 0, [&] {
        work();
        return 0;
    });
}

}  // namespace qz_support
