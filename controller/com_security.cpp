#include "controller/com_security.h"

#include <sddl.h>

namespace sentrel {
namespace {

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

HRESULT Convert(const wchar_t* sddl, qz_support::UniqueLocalDescriptor& descriptor, ULONG& size) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor.put(), &size))
        return LastError();
    return S_OK;
}

}  // namespace

HRESULT SelfRelativeDescriptor(const wchar_t* sddl, std::vector<BYTE>& descriptor) {
    qz_support::UniqueLocalDescriptor converted;
    ULONG size = 0;
    if (const HRESULT hr = Convert(sddl, converted, size); FAILED(hr)) return hr;
    const auto* bytes = static_cast<const BYTE*>(converted.get());
    descriptor.assign(bytes, bytes + size);
    return S_OK;
}

HRESULT InitializeCallSecurity() {
    qz_support::UniqueLocalDescriptor relative;
    ULONG size = 0;
    if (const HRESULT hr = Convert(kAccessPermissionSddl, relative, size); FAILED(hr)) return hr;

    // CoInitializeSecurity takes the absolute form: first the sizes, then
    // the parts, each in a buffer of its own that outlives the call.
    DWORD absoluteSize = 0, daclSize = 0, saclSize = 0, ownerSize = 0, groupSize = 0;
    MakeAbsoluteSD(relative.get(), nullptr, &absoluteSize, nullptr, &daclSize, nullptr, &saclSize, nullptr,
                   &ownerSize, nullptr, &groupSize);
    if (absoluteSize == 0) return LastError();
    std::vector<BYTE> absolute(absoluteSize), dacl(daclSize + 1), sacl(saclSize + 1), owner(ownerSize + 1),
        group(groupSize + 1);
    if (!MakeAbsoluteSD(relative.get(), absolute.data(), &absoluteSize, reinterpret_cast<PACL>(dacl.data()),
                        &daclSize, reinterpret_cast<PACL>(sacl.data()), &saclSize, owner.data(), &ownerSize,
                        group.data(), &groupSize))
        return LastError();

    // Identify-level impersonation is all the controller's own outgoing
    // calls (to a running controller) need.
    return CoInitializeSecurity(absolute.data(), -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
}

}  // namespace sentrel
