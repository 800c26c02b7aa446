// sentrel-check --machine: Sentrel on this workstation as its controller and
// agent find it. The settings key in force and why, each policy value and
// where it is set, the settings source, the last synchronisation, whether a
// controller runs, answers and has the lock on (and whether it holds the
// lock because its stored settings could not be used), and the agent's
// registration in each registry view. A controller that does not run is
// never started: it is asked only while its instance marker exists, and
// only for as long as a short timeout allows.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sentrel::check {

// One policy value: where it was found (empty when not set anywhere) and
// whether it counts.
struct PolicySetting {
    std::string name;
    std::string where;
    std::string value;
    bool inForce = false;
    std::string note;
};

struct AgentView {
    std::string view;  // "64-bit", "32-bit"
    bool helperObject = false;
    std::string classPath;  // the class entry's InprocServer32 (empty: no entry)
    bool classFileExists = false;
    bool userClass = false;  // a class entry of the user's own for the agent
};

enum class LockVerdict { InForce, NotInForce, CannotTell };

struct MachineState {
    std::string settingsKey;  // empty: none opens
    std::string settingsKeyWhy;
    std::string document;  // "present", "empty", "absent", "unreadable"
    size_t documentCharacters = 0;

    std::vector<PolicySetting> policies;
    std::string source, sourceFrom, sourceKind, sourceNote;
    bool notesProtection = false;
    std::string notesProtectionFrom;
    std::string lastSync;  // empty: never stamped
    std::string lastPass;  // a code: stored, held, failed, no-source, drive-letter-refused, none, unknown

    bool controllerRuns = false;
    bool instanceMarker = false;
    std::vector<unsigned long> controllerProcesses;
    std::string controllerClassPath;
    bool controllerClassFileExists = false;
    bool userControllerClass = false;
    bool failClosed = false;
    bool answered = false;
    long failure = 0;  // the HRESULT of a connection or call that failed
    std::optional<bool> locked;
    std::string lockAskedWith;  // "AllowPopup" or "IsURLOK"
    std::optional<bool> startedLocked;
    std::string controllerNote;

    std::vector<AgentView> agent;
    bool userAddOnSwitch = false;

    LockVerdict verdict = LockVerdict::CannotTell;
    std::string verdictWhy;
};

// Looks at the machine (Windows only).
MachineState GatherMachineState();

// Prints the state as text or JSON; the exit status: 0 when the lock is in
// force, 1 when it is not, 2 when that cannot be told.
int PrintMachineState(const MachineState& state, bool json);

// --machine: gathers and prints; on a build without the platform, says so
// and returns 2.
int ReportMachineState(bool json);

}  // namespace sentrel::check
