// Move-only owners for the handles the program acquires. One template, one
// short alias per kind of handle: the owner is created on the line that
// acquires the handle and closes it on every path out.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wininet.h>

#include <utility>

namespace qz_support {

// FileStyle: INVALID_HANDLE_VALUE (-1) also means "no handle", as CreateFile returns it.
template <typename Handle, auto Close, bool FileStyle = false>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(Handle handle) : handle_(handle) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return IsValid(handle_); }

    [[nodiscard]] Handle release() {
        Handle handle = handle_;
        handle_ = Handle{};
        return handle;
    }
    void reset(Handle handle = Handle{}) {
        if (IsValid(handle_)) Close(handle_);
        handle_ = handle;
    }
    // Out-parameter access: the owner is emptied first.
    Handle* put() {
        reset();
        return &handle_;
    }

private:
    static bool IsValid(Handle handle) {
        if (handle == Handle{}) return false;
        if constexpr (FileStyle) return reinterpret_cast<HANDLE>(handle) != INVALID_HANDLE_VALUE;
        return true;
    }

    Handle handle_{};
};

namespace detail {
inline void CloseKey(HKEY key) { RegCloseKey(key); }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline void FreeBstr(BSTR text) { SysFreeString(text); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }
inline void DestroyMenuHandle(HMENU menu) { DestroyMenu(menu); }
inline void CloseInternet(HINTERNET handle) { InternetCloseHandle(handle); }
inline void FreeLibraryHandle(HMODULE module) { FreeLibrary(module); }
inline void FreeLocal(void* memory) { LocalFree(memory); }
inline void FreeLocalText(wchar_t* text) { LocalFree(text); }
inline void DeregisterSource(HANDLE source) { DeregisterEventSource(source); }
}  // namespace detail

using UniqueHkey = UniqueAny<HKEY, detail::CloseKey>;
using UniqueHandle = UniqueAny<HANDLE, detail::CloseKernelHandle>;
// File handles: CreateFile fails with INVALID_HANDLE_VALUE, not null.
using UniqueFile = UniqueAny<HANDLE, detail::CloseKernelHandle, true>;
using UniqueBstr = UniqueAny<BSTR, detail::FreeBstr>;
using UniqueHicon = UniqueAny<HICON, detail::DestroyIconHandle>;
using UniqueHmenu = UniqueAny<HMENU, detail::DestroyMenuHandle>;
using UniqueHinternet = UniqueAny<HINTERNET, detail::CloseInternet>;
using UniqueHmodule = UniqueAny<HMODULE, detail::FreeLibraryHandle>;
// LocalAlloc'd results, such as the security descriptors and SDDL text that
// the descriptor conversions return.
using UniqueLocalDescriptor = UniqueAny<PSECURITY_DESCRIPTOR, detail::FreeLocal>;
using UniqueLocalText = UniqueAny<wchar_t*, detail::FreeLocalText>;
// An event log source from RegisterEventSourceW.
using UniqueEventSource = UniqueAny<HANDLE, detail::DeregisterSource>;

}  // namespace qz_support
