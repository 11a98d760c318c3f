//===- Variant.cpp - VARIANT initialisation, clearing and copying --------===//
//
// This file implements VariantInit, VariantClear and VariantCopy. A VARIANT
// owns its BSTR, its SAFEARRAY and one reference to its interface; a
// VT_BYREF variant owns nothing. VariantChangeType lives in its own file.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Variant.h>

#include <cstring>

#include "VariantTypes.h"

namespace vexo::platform {

void VariantInit(VARIANT *pvarg) {
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANT *pvarg) {
    if (!pvarg)
        return E_POINTER;
    VARTYPE vt = pvarg->vt;
    if (!detail::IsValidVariantType(vt))
        return DISP_E_BADVARTYPE;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            // A locked array stays with the variant: freeing it would pull the
            // memory from under whoever holds the lock.
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr))
                return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvarg->punkVal) {
            pvarg->punkVal->Release();
        }
    }
    VariantInit(pvarg);
    pvarg->llVal = 0;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT *pvarDest, const VARIANT *pvargSrc) {
    if (!pvarDest)
        return E_POINTER;
    if (!pvargSrc)
        return E_INVALIDARG;
    const VARTYPE vt = pvargSrc->vt;
    if (!(vt & VT_BYREF))
        return VariantCopy(pvarDest, pvargSrc);
    if (!detail::IsValidVariantType(vt))
        return DISP_E_BADVARTYPE;
    if (!pvargSrc->byref)
        return E_INVALIDARG;
    const VARTYPE base = vt & ~VT_BYREF;
    if (base == VT_VARIANT) {
        const VARIANT &target = *pvargSrc->pvarVal;
        if (target.vt & VT_BYREF)
            return E_INVALIDARG;
        return VariantCopy(pvarDest, &target);
    }
    // A by-value variant of the same value, borrowed: VariantCopy duplicates it.
    VARIANT value;
    VariantInit(&value);
    if (base & VT_ARRAY)
        value.parray = *static_cast<SAFEARRAY *const *>(pvargSrc->byref);
    else if (base == VT_DECIMAL)
        value.decVal = *pvargSrc->pdecVal; // overlays vt: set below
    else
        std::memcpy(&value.llVal, pvargSrc->byref, detail::ElementSize(base));
    value.vt = base;
    return VariantCopy(pvarDest, &value);
}

HRESULT VariantCopy(VARIANT *pvargDest, const VARIANT *pvargSrc) {
    if (!pvargDest)
        return E_POINTER;
    if (!pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    VARTYPE vt = pvargSrc->vt;
    if (!detail::IsValidVariantType(vt))
        return DISP_E_BADVARTYPE;

    // Build the copy first, so that a failure leaves dest as it was.
    VARIANT copy;
    std::memcpy(&copy, pvargSrc, sizeof(VARIANT));
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
            if (FAILED(hr))
                return hr;
        } else if (vt == VT_BSTR && pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
            if (!copy.bstrVal)
                return E_OUTOFMEMORY;
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && pvargSrc->punkVal) {
            pvargSrc->punkVal->AddRef();
        }
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    std::memcpy(pvargDest, &copy, sizeof(VARIANT));
    return S_OK;
}

} // namespace vexo::platform
