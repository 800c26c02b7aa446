// The one definition of the controller's class, interface and library ids.
#include <initguid.h>

#include "policy/controller_interface.h"
