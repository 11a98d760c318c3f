//===- VariantTypes.h - private VARTYPE classification helpers -----------===//
//
// This file holds the small tables shared by the VARIANT, SAFEARRAY and
// conversion code: which VARTYPEs may stand in a VARIANT or an array, and the
// size of an array element of each type.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/platform/Variant.h>

namespace vexo::platform::detail {

/// True for the base types a VARIANT may hold by value (without flags).
inline bool IsVariantScalarType(VARTYPE t) {
    switch (t) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

/// Size of one array element of type t; 0 when t cannot be an element type.
inline UINT ElementSize(VARTYPE t) {
    switch (t) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    case VT_BSTR:
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return sizeof(void *);
    case VT_DECIMAL:
        return sizeof(DECIMAL);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

/// True when vt is a well-formed VARIANT type: a scalar, a scalar or VARIANT
/// by reference, or an array (optionally by reference) of an element type.
inline bool IsValidVariantType(VARTYPE vt) {
    VARTYPE base = vt & VT_TYPEMASK;
    if (vt & VT_VECTOR)
        return false;
    if (vt & VT_ARRAY)
        return ElementSize(base) != 0;
    if (vt & VT_BYREF)
        return base == VT_VARIANT ||
               (IsVariantScalarType(base) && base != VT_EMPTY && base != VT_NULL);
    return IsVariantScalarType(vt);
}

} // namespace vexo::platform::detail
