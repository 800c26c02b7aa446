// Owning COM interface pointer. `query` raises a COM error when the interface
// is missing; `try_query` gives a null pointer instead.
#pragma once

#include "support/com_error.h"

#include <unknwn.h>

#include <utility>

namespace qz_support {

template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on `pointer`.
    static ComPtr Copy(Interface* pointer) {
        ComPtr result;
        result.pointer_ = pointer;
        if (pointer) pointer->AddRef();
        return result;
    }
    // Takes over a reference the caller already owns.
    static ComPtr Attach(Interface* pointer) {
        ComPtr result;
        result.pointer_ = pointer;
        return result;
    }
    ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
        if (pointer_) pointer_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~ComPtr() { reset(); }

    Interface* get() const { return pointer_; }
    // Raises E_POINTER instead of using a null interface.
    Interface* operator->() const { return CheckPointer(pointer_); }
    explicit operator bool() const { return pointer_ != nullptr; }

    void reset() {
        if (Interface* pointer = std::exchange(pointer_, nullptr)) pointer->Release();
    }
    [[nodiscard]] Interface* release() { return std::exchange(pointer_, nullptr); }
    // Out-parameter access: the pointer is released first.
    Interface** put() {
        reset();
        return &pointer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    template <typename Other>
    ComPtr<Other> try_query() const {
        ComPtr<Other> result;
        if (pointer_) pointer_->QueryInterface(__uuidof(Other), result.put_void());
        return result;
    }
    template <typename Other>
    ComPtr<Other> query() const {
        ComPtr<Other> result;
        ThrowIfFailed(CheckPointer(pointer_)->QueryInterface(__uuidof(Other), result.put_void()));
        return result;
    }
    // Hands a new reference to an out-parameter.
    HRESULT copy_to(Interface** out) const {
        if (!out) return E_POINTER;
        *out = pointer_;
        if (pointer_) pointer_->AddRef();
        return S_OK;
    }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace qz_support
