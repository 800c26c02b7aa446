// Who may start and call the controller. Internet-zone tabs run at low
// integrity (Protected Mode) and, with Enhanced Protected Mode, in an app
// container; the system's default launch and access checks refuse both, and
// an agent that cannot reach the controller lets every page through. The
// AppID's stored permissions (launch by COM) and the process's own call
// security (a controller started at logon) both admit them.
#pragma once

#include "support/unique_any.h"

#include <windows.h>

#include <vector>

namespace sentrel {

// Owner and group Administrators; allowed: the interactive user (IU), the
// system (SY) and every app container (ALL APPLICATION PACKAGES, written as
// its SID S-1-15-2-1: Windows 7 knows no "AC" alias and would refuse the
// whole text); a low mandatory label with no-execute-up, so low-integrity
// callers pass the integrity check.
// Launch: COM_RIGHTS_EXECUTE | EXECUTE_LOCAL | ACTIVATE_LOCAL (0xB).
inline constexpr const wchar_t* kLaunchPermissionSddl =
    L"O:BAG:BAD:(A;;0xb;;;IU)(A;;0xb;;;SY)(A;;0xb;;;S-1-15-2-1)S:(ML;;NX;;;LW)";
// Access: COM_RIGHTS_EXECUTE | EXECUTE_LOCAL (0x3).
inline constexpr const wchar_t* kAccessPermissionSddl =
    L"O:BAG:BAD:(A;;0x3;;;IU)(A;;0x3;;;SY)(A;;0x3;;;S-1-15-2-1)S:(ML;;NX;;;LW)";

// The self-relative descriptor of `sddl` as the AppID values store it.
HRESULT SelfRelativeDescriptor(const wchar_t* sddl, std::vector<BYTE>& descriptor);

// CoInitializeSecurity with the access descriptor, before the process
// marshals anything: calls from low-integrity and app-container agents are
// accepted whoever started the controller.
HRESULT InitializeCallSecurity();

}  // namespace sentrel
