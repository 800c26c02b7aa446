// Guards for the program's entry points and the error reporting behind them.
//
// A guard is constructed first in a guarded function and records where the
// thread has entered the program; the catch handlers of the entry point use
// ReportError and ShowError. The record is a per-thread stack of frames that
// the error text names, so a shown error says where it surfaced.
#pragma once

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

}  // namespace qz_support
