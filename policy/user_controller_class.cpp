#include "policy/user_controller_class.h"

#include "policy/controller_interface.h"
#include "support/registry.h"

#include <string>

namespace sentrel {

bool UserHiveRegistersController() noexcept try {
    const std::string path = std::string("Software\\Classes\\CLSID\\") + kControllerClsidText;
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        const LSTATUS status =
            qz_support::registry::OpenKey(HKEY_CURRENT_USER, path.c_str(), KEY_QUERY_VALUE | view).status;
        if (status != ERROR_FILE_NOT_FOUND && status != ERROR_PATH_NOT_FOUND) return true;
    }
    return false;
} catch (...) {
    // No memory for the path: as if a class were there, which trusts nothing.
    return true;
}

}  // namespace sentrel
