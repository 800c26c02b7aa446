// SentrelAgentController: the tray program that is also the local COM
// server of the controller class.
#include "controller/class_factory.h"
#include "controller/com_security.h"
#include "controller/command_line.h"
#include "controller/event_source.h"
#include "controller/log_file.h"
#include "controller/log_rotation.h"
#include "controller/registration.h"
#include "controller/server_module.h"
#include "controller/starter_reply.h"
#include "controller/tray_icon.h"
#include "policy/connect_controller.h"
#include "support/event_log.h"
#include "support/unique_any.h"

#include "sentrel_version.h"

#include <string>

namespace sentrel {
namespace {

class ComApartment {
public:
    ComApartment() : result_(CoInitialize(nullptr)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }

private:
    HRESULT result_;
};

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The event source goes with the class: its result counts in the exit code.
HRESULT Register(bool unregister) {
    if (unregister) {
        UnregisterAppId();
        RemoveLogFiles();
        const HRESULT classResult = UnregisterClassAndTypeLibrary();
        const HRESULT sourceResult = UnregisterEventLogSource();
        return FAILED(classResult) ? classResult : sourceResult;
    }
    RegisterAppId();
    // The log's results are not the program's: a folder a user made in the
    // log's place must not fail an installation. Registration runs elevated,
    // so it can also rotate the log, which a standard user's start cannot.
    PrepareLogFile();
    RotateLogByPolicy();
    const std::wstring programPath = ProgramPath();
    const HRESULT hr = RegisterClassAndTypeLibrary(programPath);
    return FAILED(hr) ? hr : RegisterEventLogSource(programPath);
}

// When a controller already runs, wakes it and reports true: this start ends.
bool HandedOverToRunningController() {
    qz_support::UniqueHandle marker(OpenEventA(SYNCHRONIZE, FALSE, kInstanceMarkerName));
    if (!marker) return false;
    qz_support::ComPtr<ISentrelController> running;
    if (FAILED(ConnectController(running)) || !running) return false;
    running->Show();
    return true;
}

void RunMessageLoop(const ServerModule& module) {
    // Once, as the loop starts: the window adds its tray icon. A program
    // started by the user may get no other message until a browser asks.
    if (const HWND window = module.ControllerWindow()) PostMessageA(window, kShowMessage, 0, 0);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        const HWND window = module.ControllerWindow();
        if (window && IsDialogMessageA(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

int Run(HINSTANCE instance) {
    const std::string commandLine = GetCommandLineA();
    const CommandLineAction action = ScanCommandLine(commandLine);
    // Answered before COM or any window exists: nothing is registered,
    // removed or started.
    // A script asking for the version gets only the line (or nothing, when
    // it gave no output), never a tray icon.
    if (action == CommandLineAction::Version) {
        ReplyToStarter("SentrelAgentController " SENTREL_VERSION_TEXT "\n", StarterStream::Output, MB_ICONINFORMATION);
        return 0;
    }
    if (action == CommandLineAction::ShowUsage) {
        ReplyToStarter(CommandLineUsage(), StarterStream::Output, MB_ICONINFORMATION);
        return 0;
    }
    if (action == CommandLineAction::MisusedRegistration) {
        const std::string text = std::string("SentrelAgentController: /RegServer and /UnregServer take no further "
                                             "words; nothing was registered or removed.\n\n") +
                                 CommandLineUsage();
        ReplyToStarter(text, StarterStream::Error, MB_ICONERROR);
        return static_cast<int>(E_INVALIDARG);
    }
    ComApartment apartment;
    ServerModule module(instance);

    switch (action) {
    case CommandLineAction::RegServer:
        return static_cast<int>(Register(false));
    case CommandLineAction::UnregServer:
        return static_cast<int>(Register(true));
    default:
        break;
    }

    // Before anything is marshalled, the hand-over's call included. A failure
    // leaves the system's defaults: medium-integrity clients still connect.
    InitializeCallSecurity();
    if (HandedOverToRunningController()) return 0;
    // A rotation that cannot be done leaves the log as it is.
    RotateLogByPolicy();

    module.StartShutdownMonitor();
    ControllerClassFactory factory(module);
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(CLSID_SentrelController, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie)))
        return 0;
    // Never given back: the controller outlives its last client.
    module.Lock();
    qz_support::UniqueHandle marker(CreateEventA(nullptr, FALSE, FALSE, kInstanceMarkerName));

    RunMessageLoop(module);

    marker.reset();
    CoRevokeClassObject(cookie);
    Sleep(1000);
    // The last records (an Exit, a failure on the way out) reach the log.
    qz_support::FlushEvents(2000);
    return 0;
}

}  // namespace
}  // namespace sentrel

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return sentrel::Run(instance);
}
