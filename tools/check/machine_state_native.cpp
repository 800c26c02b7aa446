// --machine reads the Windows registry and asks the running controller over
// COM: there is nothing of the kind to read here.
#include "tools/check/machine_state.h"

#include <cstdio>

namespace sentrel::check {

int ReportMachineState(bool) {
    std::fprintf(stderr, "sentrel-check: --machine is available only in the Windows build (sentrel-check.exe)\n");
    return 2;
}

}  // namespace sentrel::check
