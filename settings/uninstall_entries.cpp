// The uninstall entries that "prohibitUninstall" marks.
#include "settings/registry_store.h"

#include "package_codes.h"
#include "support/registry.h"

#include <msi.h>

#include <algorithm>

namespace sentrel {
namespace {

namespace registry = qz_support::registry;

qz_support::UniqueHkey OpenEntry(const std::string& path, REGSAM access) {
    return registry::OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), access).key;
}

}  // namespace

std::vector<std::string> UninstallEntryPaths() {
    std::vector<std::string> paths;
    // Each version is a product of its own; the upgrade code of each
    // architecture's package stays.
    for (const char* upgradeCode : {SENTREL_UPGRADE_CODE_X64, SENTREL_UPGRADE_CODE_X86}) {
        char product[39] = {};  // a braced GUID and its NUL
        for (DWORD index = 0; MsiEnumRelatedProductsA(upgradeCode, 0, index, product) == ERROR_SUCCESS; ++index)
            paths.push_back(std::string(kUninstallRootPath) + product);
    }
    if (std::find(paths.begin(), paths.end(), kUninstallKeyPath) == paths.end()) paths.push_back(kUninstallKeyPath);
    return paths;
}

void WriteUninstallEntry(bool prohibit) {
    const DWORD value = prohibit ? 1 : 0;
    for (const std::string& path : UninstallEntryPaths()) {
        const auto key = OpenEntry(path, KEY_SET_VALUE);
        if (!key) continue;
        for (const char* name : {"NoRemove", "NoRepair", "NoModify"}) registry::SetDword(key.get(), name, value);
    }
}

std::optional<bool> ReadUninstallEntry() {
    for (const std::string& path : UninstallEntryPaths()) {
        const auto key = OpenEntry(path, KEY_QUERY_VALUE | KEY_SET_VALUE);
        if (!key) continue;
        // Four bytes of any type.
        const auto read = registry::ReadDword(key.get(), "NoRemove");
        if (read.state == registry::ValueState::Present && read.size == sizeof read.value) return read.value == 1;
    }
    return std::nullopt;
}

bool CanWriteUninstallEntry() {
    const std::vector<std::string> paths = UninstallEntryPaths();
    return std::any_of(paths.begin(), paths.end(),
                       [](const std::string& path) { return static_cast<bool>(OpenEntry(path, KEY_QUERY_VALUE | KEY_SET_VALUE)); });
}

}  // namespace sentrel
