// What the demo, the round-trip harness and the end-to-end tests do to a
// controller from the outside: run its program, store settings documents,
// tell it to reload, find and end its processes.
#pragma once

#include "policy/controller_interface.h"

#include <windows.h>

#include <psapi.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel::client {

// The controller program and the agent library built beside this program,
// as Windows paths.
std::wstring ControllerProgram();
std::wstring AgentLibrary();

// A path of the build machine as Wine shows it (drive Z:).
std::wstring BuildMachinePath(std::string_view path);

// An environment variable; empty when it is not set.
std::string Env(const char* name);

// Waits until `condition` holds, handling this thread's messages meanwhile;
// false when it did not hold within `timeoutMs`.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// A registry key's existence, and a REG_SZ value ("<absent>" when missing).
bool KeyExists(HKEY root, const std::string& path);
std::string RegistryText(HKEY root, const std::string& path, const char* name);

// A window's text asked of the window itself (GetWindowText would not ask
// a control of another process), and typing into it one character at a time.
std::wstring WindowText(HWND window);
void TypeText(HWND edit, std::wstring_view text);

// The entries of a list box (LB_GETCOUNT, LB_GETTEXT) or a combo box's list
// (CB_GETCOUNT, CB_GETLBTEXT). Narrow texts asked across processes come
// back wide, so the W messages are used.
std::vector<std::wstring> ControlEntries(HWND control, UINT countMessage, UINT textMessage);

// The controller's answer for one address.
HRESULT AskController(ISentrelController* controller, const wchar_t* address);

// The running controller's memory counters; nothing unless exactly one runs.
std::optional<PROCESS_MEMORY_COUNTERS> ControllerMemory();

// The processor time (kernel and user) the running controller's present
// threads have used, in milliseconds; nothing unless exactly one runs.
std::optional<double> ControllerProcessorMs();

// Runs a command line and waits for it; its exit code, or -1 when it could
// not be started or did not end in time.
long RunProgram(const std::wstring& commandLine, DWORD timeoutMs = 30000);

// The same with the program's standard output and error caught (both into
// one text, in the order written); standard input is NUL.
struct ProgramRun {
    long exitCode = -1;
    std::string output;
};
ProgramRun RunProgramForOutput(const std::wstring& commandLine, DWORD timeoutMs = 30000);

// Starts a command line (with NUL standard handles) and does not wait for
// it; false when it could not be started.
bool LaunchDetached(const std::wstring& commandLine);

// Stores `text` as the settings document in the settings key under `root`.
bool StoreSettingsDocument(const std::string& text, HKEY root = HKEY_CURRENT_USER);

// Sends "ReloadSettings" to the running controller's window; false when no
// controller window was found.
bool ReloadRunningController(DWORD timeoutMs = 10000);

// Waits for an error message box ("Sentrel") of the controller, closes it
// and returns its text; empty when none appeared in time.
std::wstring DismissErrorBox(DWORD timeoutMs = 10000);

// The ids of the running controller processes.
std::vector<DWORD> ControllerProcesses();

// The command line a process was started with (read from its environment block).
std::wstring CommandLineOf(DWORD processId);

// Ends every controller process and waits until they are gone.
void EndControllers();

// Starts the controller program as a user would (no arguments) and waits
// until its window exists; false when it did not come up in time.
bool StartController(DWORD timeoutMs = 15000);

// Ends every running controller through its own shutdown path (WM_QUIT to
// its main thread), which also withdraws its class object; a controller that
// does not end in time is terminated (exit code 1). Returns the exit code of
// each controller it ended.
std::vector<DWORD> StopControllers();

// The running controller's main window; null when none is found.
HWND ControllerWindow();

// Waits for a visible top-level window of that class (and caption, unless
// null); null when none appeared in time.
HWND WaitForVisibleWindow(const char* className, const char* caption, DWORD timeoutMs = 5000);

// Picks `path` in the common file dialog with this caption once it shows:
// the name goes into the inner Edit of control 1148 (cmb13), then OK. False
// when no such dialog showed or it did not close.
bool PickFile(const char* caption, const std::wstring& path, DWORD timeoutMs = 5000);

// For the demo's programs: prints one line "<program>: <what failed>" to the
// standard error (with the HRESULT when one is given) and returns 1, the
// program's exit status.
int Failed(const char* what, HRESULT hr = S_OK);

}  // namespace sentrel::client
