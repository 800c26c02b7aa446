// The activation calls linked directly, for programs. Kept apart so that a
// client that binds them itself does not import them.
#include "policy/connect_controller.h"

namespace sentrel {

ActivationCalls DirectActivationCalls() {
    return {&CoCreateInstance, &OleRun};
}

}  // namespace sentrel
