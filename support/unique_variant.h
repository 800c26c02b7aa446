// Owner of a VARIANT: cleared (VariantClear) when replaced or destroyed.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace qz_support {

class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    UniqueVariant(UniqueVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    ~UniqueVariant() { VariantClear(&value_); }

    const VARIANT& get() const { return value_; }
    VARIANT* operator&() = delete;
    // Out-parameter access: the variant is cleared first.
    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

}  // namespace qz_support
