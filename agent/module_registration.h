// Registering and unregistering the module: its registration script,
// read from the "REGISTRY" resource 101, run with MODULE set to the module's
// full path.
#pragma once

#include "agent/registration_script.h"

#include <windows.h>

namespace sentrel::agent {

// Runs the parsed script; stops at the first failing step and returns its HRESULT.
HRESULT RunRegistrationScript(const std::vector<ScriptRoot>& script, bool registering);

// Reads, parses and runs the module's own script.
HRESULT RegisterModule(bool registering);

}  // namespace sentrel::agent
