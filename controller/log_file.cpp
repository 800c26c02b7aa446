#include "controller/log_file.h"

#include "support/log_location.h"
#include "support/plain_file.h"

#include <sddl.h>

namespace sentrel {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr SECURITY_INFORMATION kDescriptorParts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION;

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

// Drops a read-only mark, keeping the other attributes.
HRESULT MakeWritable(HANDLE file) {
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return LastError();
    if (!(basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) return S_OK;
    basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    // Zero times leave the file's times as they are.
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
    basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) ? S_OK : LastError();
}

HRESULT RemoveFile(const wchar_t* path) {
    if (DeleteFileW(path)) return S_OK;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT LogFileDescriptor(qz_support::UniqueLocalDescriptor& descriptor) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogFileSddl, SDDL_REVISION_1, descriptor.put(), nullptr))
        return LastError();
    return S_OK;
}

HRESULT CreateLogFile(const wchar_t* path) {
    qz_support::UniqueLocalDescriptor descriptor;
    if (const HRESULT hr = LogFileDescriptor(descriptor); FAILED(hr)) return hr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    const qz_support::UniqueFile created(CreateFileW(path, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, &attributes,
                                                     CREATE_NEW,
                                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return created ? S_OK : LastError();
}

HRESULT PrepareLogFile() {
    qz_support::UniqueLocalDescriptor descriptor;
    if (const HRESULT hr = LogFileDescriptor(descriptor); FAILED(hr)) return hr;
    // A new file gets the descriptor as it is made. An existing name is
    // opened as it is, a link itself rather than what it points at.
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    const qz_support::UniqueFile log(
        CreateFileW(kLogPath, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES |
                                  SYNCHRONIZE,
                    kShareAll, &attributes, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                    nullptr));
    if (!log) return LastError();
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!qz_support::IsPlainFile(log.get())) return HRESULT_FROM_WIN32(ERROR_CANT_ACCESS_FILE);
    if (!existed) return S_OK;
    if (const HRESULT hr = MakeWritable(log.get()); FAILED(hr)) return hr;
    // The descriptor as it is: set on the file itself, nothing inherited
    // from the folder is merged in (the access list is protected anyway).
    return SetKernelObjectSecurity(log.get(), kDescriptorParts, descriptor.get()) ? S_OK : LastError();
}

HRESULT RemoveLogFiles() {
    HRESULT result = S_OK;
    // DeleteFileW removes a link itself, never what it points at, and no folder.
    for (const wchar_t* path : {kLogPath, kRotatedLogPath, kFreshLogPath, kLeavingLogPath}) {
        const HRESULT removed = RemoveFile(path);
        if (SUCCEEDED(result)) result = removed;
    }
    return result;
}

}  // namespace sentrel
