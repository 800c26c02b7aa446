#include "tools/client/controller_client.h"

#include "settings/registry_store.h"
#include "support/registry.h"
#include "support/unique_any.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <tlhelp32.h>
#include <winternl.h>

namespace sentrel::client {

namespace {


}  // namespace

std::wstring ControllerProgram() {
    return BuildMachinePath(SENTREL_CONTROLLER_EXE);
}

std::wstring AgentLibrary() {
    return BuildMachinePath(SENTREL_AGENT_DLL);
}

namespace {

// Starts a command line with NUL standard handles, so that no child holds
// this process's output open.
bool Launch(const std::wstring& commandLine, qz_support::UniqueHandle& process) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    qz_support::UniqueFile nul(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           &inheritable, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (nul) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
    }
    PROCESS_INFORMATION started{};
    std::wstring mutableLine = commandLine;
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return false;
    process.reset(started.hProcess);
    CloseHandle(started.hThread);
    return true;
}

}  // namespace

long RunProgram(const std::wstring& commandLine, DWORD timeoutMs) {
    // The program's console output (net.exe's progress lines) is dropped.
    qz_support::UniqueHandle process;
    if (!Launch(commandLine, process)) return -1;
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return static_cast<long>(code);
}

ProgramRun RunProgramForOutput(const std::wstring& commandLine, DWORD timeoutMs) {
    ProgramRun run;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    qz_support::UniqueHandle reading, writing;
    if (!CreatePipe(reading.put(), writing.put(), &inheritable, 0)) return run;
    SetHandleInformation(reading.get(), HANDLE_FLAG_INHERIT, 0);
    qz_support::UniqueFile nul(
        CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = startup.hStdError = writing.get();
    PROCESS_INFORMATION started{};
    // Wine now and then fails a process start under load; a second try starts it.
    bool startedProcess = false;
    for (int attempt = 0; attempt < 3 && !startedProcess; ++attempt) {
        if (attempt > 0) Sleep(200);
        std::wstring mutableLine = commandLine;
        startedProcess = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &started) != FALSE;
    }
    if (!startedProcess) return run;
    qz_support::UniqueHandle process(started.hProcess), thread(started.hThread);
    writing.reset();
    // Read as it comes, so that a long output never fills the pipe.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(reading.get(), nullptr, 0, nullptr, &available, nullptr)) break;  // written end closed
        if (available > 0) {
            char buffer[4096];
            DWORD read = 0;
            if (!ReadFile(reading.get(), buffer, sizeof buffer, &read, nullptr)) break;
            run.output.append(buffer, read);
            continue;
        }
        if (GetTickCount64() > deadline) return run;
        Sleep(10);
    }
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) return run;
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    run.exitCode = static_cast<long>(code);
    return run;
}

bool LaunchDetached(const std::wstring& commandLine) {
    qz_support::UniqueHandle process;
    return Launch(commandLine, process);
}

bool StoreSettingsDocument(const std::string& text, HKEY root) {
    return qz_support::registry::CreateAndSetString(root, kSettingsKeyPath, nullptr, text) == ERROR_SUCCESS;
}

HWND ControllerWindow() {
    return FindWindowA("#32770", "Sentrel Settings");
}

bool ReloadRunningController(DWORD timeoutMs) {
    const HWND window = ControllerWindow();
    if (!window) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, RegisterWindowMessageA("ReloadSettings"), 0, 0, SMTO_NORMAL, timeoutMs,
                               &result) != 0;
}

std::wstring DismissErrorBox(DWORD timeoutMs) {
    constexpr int kMessageTextId = 0xFFFF;
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        if (const HWND box = FindWindowA("#32770", "Sentrel")) {
            wchar_t text[1024] = {};
            GetDlgItemTextW(box, kMessageTextId, text, 1024);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
            return text;
        }
        Sleep(50);
    }
    return {};
}

std::vector<DWORD> ControllerProcesses() {
    std::vector<DWORD> ids;
    qz_support::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, L"SentrelAgentController.exe") == 0) ids.push_back(entry.th32ProcessID);
    }
    return ids;
}

std::wstring CommandLineOf(DWORD processId) {
    qz_support::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process) return {};
    using QueryInformation = NTSTATUS(WINAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(process.get(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) return {};
    PEB peb{};
    RTL_USER_PROCESS_PARAMETERS parameters{};
    if (!ReadProcessMemory(process.get(), basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !ReadProcessMemory(process.get(), peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return {};
    std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process.get(), parameters.CommandLine.Buffer, text.data(), parameters.CommandLine.Length,
                           nullptr))
        return {};
    return text;
}

void EndControllers() {
    for (DWORD id : ControllerProcesses()) {
        qz_support::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process) continue;
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 10000);
    }
}

bool StartController(DWORD timeoutMs) {
    qz_support::UniqueHandle process;
    if (!Launch(L"\"" + ControllerProgram() + L"\"", process)) return false;
    WaitForInputIdle(process.get(), timeoutMs);
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (ControllerWindow()) return true;
        if (WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0) return false;
    }
    return false;
}

HWND WaitForVisibleWindow(const char* className, const char* caption, DWORD timeoutMs) {
    HWND window = nullptr;
    WaitUntil([&] { return (window = FindWindowA(className, caption)) != nullptr && IsWindowVisible(window); },
              timeoutMs);
    return window && IsWindowVisible(window) ? window : nullptr;
}

bool PickFile(const char* caption, const std::wstring& path, DWORD timeoutMs) {
    const HWND dialog = WaitForVisibleWindow("#32770", caption, timeoutMs);
    if (!dialog) return false;
    const HWND nameBox = GetDlgItem(dialog, 1148);
    const HWND combo = FindWindowExA(nameBox, nullptr, "ComboBox", nullptr);
    const HWND edit = FindWindowExA(combo ? combo : nameBox, nullptr, "Edit", nullptr);
    if (!edit) return false;
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return WaitUntil([&] { return !IsWindow(dialog); }, timeoutMs);
}

std::vector<DWORD> StopControllers() {
    std::vector<DWORD> exitCodes;
    for (DWORD id : ControllerProcesses()) {
        qz_support::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process) continue;
        for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", "Sentrel Settings"); window;
             window = FindWindowExA(nullptr, window, "#32770", "Sentrel Settings")) {
            DWORD owner = 0;
            const DWORD thread = GetWindowThreadProcessId(window, &owner);
            if (owner == id) PostThreadMessageA(thread, WM_QUIT, 0, 0);
        }
        if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), 10000);
            RunProgram(L"net stop rpcss");
        }
        DWORD code = 0;
        if (GetExitCodeProcess(process.get(), &code)) exitCodes.push_back(code);
    }
    return exitCodes;
}

std::wstring BuildMachinePath(std::string_view path) {
    std::wstring windows = L"Z:" + std::wstring(path.begin(), path.end());
    for (wchar_t& c : windows) {
        if (c == L'/') c = L'\\';
    }
    return windows;
}

std::string Env(const char* name) {
    char value[1024] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? value : "";
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return true;
}

bool KeyExists(HKEY root, const std::string& path) {
    return static_cast<bool>(qz_support::registry::OpenKey(root, path.c_str(), KEY_READ));
}

std::string RegistryText(HKEY root, const std::string& path, const char* name) {
    char buffer[4096] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
        return "<absent>";
    return buffer;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

void TypeText(HWND edit, std::wstring_view text) {
    for (const wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 0);
}

std::vector<std::wstring> ControlEntries(HWND control, UINT countMessage, UINT textMessage) {
    std::vector<std::wstring> entries;
    const LRESULT count = SendMessageW(control, countMessage, 0, 0);
    const UINT lengthMessage = textMessage == LB_GETTEXT ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(control, lengthMessage, i, 0);
        if (length < 0) continue;
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        const LRESULT copied = SendMessageW(control, textMessage, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(copied < 0 ? 0 : std::min(static_cast<size_t>(copied), static_cast<size_t>(length)));
        entries.push_back(std::move(text));
    }
    return entries;
}

HRESULT AskController(ISentrelController* controller, const wchar_t* address) {
    qz_support::UniqueBstr url(SysAllocString(address));
    return controller->IsURLOK(url.get());
}

std::optional<PROCESS_MEMORY_COUNTERS> ControllerMemory() {
    const std::vector<DWORD> ids = ControllerProcesses();
    if (ids.size() != 1) return std::nullopt;
    qz_support::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[0]));
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!process || !GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) return std::nullopt;
    return counters;
}

std::optional<double> ControllerProcessorMs() {
    const std::vector<DWORD> ids = ControllerProcesses();
    if (ids.size() != 1) return std::nullopt;
    // Thread by thread: Wine answers GetProcessTimes for another process
    // with zeros, but keeps each thread's times.
    qz_support::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return std::nullopt;
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    double total = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != ids[0]) continue;
        const qz_support::UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        FILETIME created{}, ended{}, kernel{}, user{};
        if (thread && GetThreadTimes(thread.get(), &created, &ended, &kernel, &user))
            total += ticks(kernel) + ticks(user);
    }
    return total / 10'000.0;  // 100-nanosecond ticks
}

int Failed(const char* what, HRESULT hr) {
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const char* name = std::strrchr(program, '\\');
    std::fflush(stdout);
    if (hr == S_OK) {
        std::fprintf(stderr, "%s: %s\n", name ? name + 1 : program, what);
    } else {
        std::fprintf(stderr, "%s: %s (0x%08lX)\n", name ? name + 1 : program, what, static_cast<unsigned long>(hr));
    }
    return 1;
}

}  // namespace sentrel::client
