#include "support/entry_points.h"

#include "SentrelEvents.h"
#include "support/com_ptr.h"
#include "support/event_log.h"
#include "support/unique_any.h"

#include <cstdio>
#include <mutex>

namespace qz_support {
namespace {

thread_local std::vector<CallFrame> callStack;
thread_local CLSID nextCreateClsid = CLSID_NULL;
thread_local std::wstring lastReport;

std::mutex displayMutex;

// One error box at a time on a thread: the box's modal loop dispatches the
// messages posted meanwhile, and a handler that fails again in there would
// open a box inside the box, as deep as another program keeps posting. The
// later error goes to the debugger output instead.
thread_local bool errorBoxOpen = false;

void ShowInMessageBox(const std::wstring& text) {
    if (errorBoxOpen) {
        OutputDebugStringW(text.c_str());
        return;
    }
    errorBoxOpen = true;
    MessageBoxW(GetActiveWindow(), text.c_str(), L"Sentrel", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    errorBoxOpen = false;
}

ErrorDisplay& Display() {
    static ErrorDisplay display = ShowInMessageBox;
    return display;
}

void Emit(const std::wstring& text) {
    ErrorDisplay display;
    {
        std::lock_guard<std::mutex> lock(displayMutex);
        display = Display();
    }
    if (display) display(text);
}

std::wstring Describe(HRESULT hr, const wchar_t* description) {
    wchar_t code[32];
    swprintf(code, 32, L"0x%08lX", static_cast<unsigned long>(hr));
    std::wstring text = L"Error ";
    text += code;
    if (description && *description) {
        text += L": ";
        text += description;
    }
    if (!callStack.empty()) {
        const CallFrame& frame = callStack.back();
        wchar_t where[160];
        swprintf(where, 160, L"\n(in %hs, line %d)", frame.file, frame.line);
        text += where;
    }
    return text;
}

std::wstring SystemMessage(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    return text;
}

// For a record: the code and the system's words for it.
std::wstring CodeForRecord(HRESULT hr) {
    wchar_t code[32];
    swprintf(code, 32, L"0x%08lX", static_cast<unsigned long>(hr));
    const std::wstring message = SystemMessage(hr);
    return message.empty() ? code : code + (L" (" + message + L")");
}

// For a record: the innermost guarded frame, by the file's name alone.
std::wstring FrameForRecord() {
    if (callStack.empty()) return L"outside any guarded entry point";
    const CallFrame& frame = callStack.back();
    const std::string_view file(frame.file ? frame.file : "");
    const size_t slash = file.find_last_of("\\/");
    const std::string_view name = slash == std::string_view::npos ? file : file.substr(slash + 1);
    return std::wstring(name.begin(), name.end()) + L", line " + std::to_wstring(frame.line);
}

}  // namespace

CCallStackEntry::CCallStackEntry(const char* file, int line, HINSTANCE instance)
    : CCallStackEntry(file, line, instance, 0) {}

CCallStackEntry::CCallStackEntry(const char* file, int line, HINSTANCE, UINT message) {
    callStack.push_back({file, line, message});
}

CCallStackEntry::~CCallStackEntry() {
    callStack.pop_back();
}

CComEntryPoint::CComEntryPoint(const char* file, int line, HINSTANCE instance, REFIID, REFCLSID)
    : CCallStackEntry(file, line, instance, 0) {}

CMessageEntryPoint::CMessageEntryPoint(const char* file, int line, HINSTANCE instance, UINT message)
    : CCallStackEntry(file, line, instance, message) {}

std::vector<CallFrame> CurrentCallStack() {
    return callStack;
}

long ReportError(long error) {
    return ReportError(error, L"unexpected failure");
}

long ReportError(long error, const std::wstring& description) {
    lastReport = Describe(error, description.c_str());
    OutputDebugStringW(lastReport.c_str());
    WriteEvent(SENTREL_EVENT_UNEXPECTED_FAILURE, {CodeForRecord(error), FrameForRecord(), ModuleForRecord()});
    return error;
}

long ReportCurrentException() noexcept {
    long error = E_UNEXPECTED;
    try {
        throw;
    } catch (const _com_error& failure) {
        error = failure.Error();
    } catch (const std::bad_alloc&) {
        error = E_OUTOFMEMORY;
    } catch (...) {
    }
    try {
        return ReportError(error);
    } catch (...) {
        return error;  // no memory for the report's text
    }
}

std::wstring LastReportedError() {
    return lastReport;
}

bool ShowError(const _com_error& error, long, bool) {
    std::wstring description;
    // ErrorInfo() hands out a new reference.
    if (const auto info = ComPtr<IErrorInfo>::Attach(error.ErrorInfo())) {
        UniqueBstr text;
        if (SUCCEEDED(info->GetDescription(text.put())) && text) description = text.get();
    }
    if (description.empty()) description = SystemMessage(error.Error());
    const std::wstring text = Describe(error.Error(), description.c_str());
    WriteEvent(SENTREL_EVENT_ERROR_SHOWN, {text, ModuleForRecord()});
    Emit(text);
    return true;
}

void SetNextCreateCLSID(REFCLSID classId) {
    nextCreateClsid = classId;
}

CLSID NextCreateCLSID() {
    return nextCreateClsid;
}

void ClearExceptionHandler() {
    callStack.clear();
    nextCreateClsid = CLSID_NULL;
}

ErrorDisplay SetErrorDisplay(ErrorDisplay display) {
    std::lock_guard<std::mutex> lock(displayMutex);
    std::swap(Display(), display);
    return display;
}

}  // namespace qz_support
