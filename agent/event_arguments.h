// Reading the arguments of a browser event. The browser passes them in
// reverse order (position 0 is the last argument), strings and flags by
// reference. Anything missing or of the wrong type raises a COM error with a
// description, so a broken event never reaches the handlers.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace sentrel::agent {

class EventArguments {
public:
    // Raises DISP_E_BADPARAMCOUNT when fewer than `count` arguments came.
    EventArguments(const DISPPARAMS* params, UINT count);

    // A dispatch pointer, which may be null.
    IDispatch* Dispatch(UINT position) const;
    // A variant passed by reference (or by value), as the browser passes
    // URL and frame name.
    const VARIANT& Variant(UINT position) const;
    // The text of a string argument; null when the string is null.
    BSTR String(UINT position) const;
    // A by-reference flag; never null.
    VARIANT_BOOL& Flag(UINT position) const;

private:
    const VARIANT& At(UINT position) const;

    const DISPPARAMS* params_;
};

// Raises `hr` with error information that carries `description`.
[[noreturn]] void RaiseDescribed(HRESULT hr, const wchar_t* description);

}  // namespace sentrel::agent
