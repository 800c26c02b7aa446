// CoCreateInstance and OleRun, bound when the agent first connects rather
// than when the browser loads the library.
#pragma once

#include "policy/connect_controller.h"

namespace sentrel::agent {

ActivationCalls LateBoundActivationCalls();

}  // namespace sentrel::agent
