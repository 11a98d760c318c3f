//===- Variant.h - VARIANT, BSTR and SAFEARRAY ---------------------------===//
//
// This file defines the OLE automation value types with their Windows layouts
// and the functions that create, copy, convert and free them. BSTRs and
// SAFEARRAYs are counted so that tests can check that nothing is left behind.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/platform/ComBase.h>

#ifndef _WIN32
using BSTR = OLECHAR *;

/// VARTYPE codes (the low 12 bits) and flags.
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

/// Currency: a 64-bit integer scaled by 10,000.
union CY {
    struct {
        ULONG Lo;
        LONG Hi;
    } s;
    LONGLONG int64;
};
static_assert(sizeof(CY) == 8);

struct DECIMAL {
    USHORT wReserved;
    BYTE scale;
    BYTE sign;
    ULONG Hi32;
    ULONGLONG Lo64;
};
static_assert(sizeof(DECIMAL) == 16);

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// SAFEARRAY feature flags (fFeatures).
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;

/// A SAFEARRAY; rgsabound has cDims entries, the rightmost dimension first.
struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void *pvData;
    SAFEARRAYBOUND rgsabound[1];
};

struct IDispatch : IUnknown {};
struct IRecordInfo;

struct VARIANT {
    union {
        struct {
            VARTYPE vt;
            WORD wReserved1;
            WORD wReserved2;
            WORD wReserved3;
            union {
                LONGLONG llVal;
                LONG lVal;
                BYTE bVal;
                SHORT iVal;
                FLOAT fltVal;
                DOUBLE dblVal;
                VARIANT_BOOL boolVal;
                SCODE scode;
                CY cyVal;
                DATE date;
                BSTR bstrVal;
                IUnknown *punkVal;
                IDispatch *pdispVal;
                SAFEARRAY *parray;
                CHAR cVal;
                USHORT uiVal;
                ULONG ulVal;
                ULONGLONG ullVal;
                INT intVal;
                UINT uintVal;
                void *byref;
                DECIMAL *pdecVal;
                VARIANT *pvarVal;
                struct {
                    void *pvRecord;
                    IRecordInfo *pRecInfo;
                } brecVal;
            };
        };
        DECIMAL decVal;
    };
};
static_assert(sizeof(VARIANT) == (sizeof(void *) == 8 ? 24 : 16));
using VARIANTARG = VARIANT;

// Flags of VariantChangeType.
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;
#endif // !_WIN32

namespace vexo::platform {

#ifdef _WIN32
using ::SafeArrayAccessData;
using ::SafeArrayCopy;
using ::SafeArrayCreate;
using ::SafeArrayCreateVector;
using ::SafeArrayDestroy;
using ::SafeArrayGetDim;
using ::SafeArrayGetElement;
using ::SafeArrayGetElemsize;
using ::SafeArrayGetLBound;
using ::SafeArrayGetUBound;
using ::SafeArrayGetVartype;
using ::SafeArrayLock;
using ::SafeArrayPutElement;
using ::SafeArrayUnaccessData;
using ::SafeArrayUnlock;
using ::SysAllocString;
using ::SysAllocStringByteLen;
using ::SysAllocStringLen;
using ::SysFreeString;
using ::SysStringByteLen;
using ::SysStringLen;
using ::VariantClear;
using ::VariantInit;
// The system declares the sources of these without const; they are not changed.
inline HRESULT VariantCopy(VARIANT *pvargDest, const VARIANT *pvargSrc) {
    return ::VariantCopy(pvargDest, const_cast<VARIANT *>(pvargSrc));
}
inline HRESULT VariantCopyInd(VARIANT *pvarDest, const VARIANT *pvargSrc) {
    return ::VariantCopyInd(pvarDest, const_cast<VARIANT *>(pvargSrc));
}
inline HRESULT VariantChangeType(VARIANT *pvargDest, const VARIANT *pvarSrc, USHORT wFlags,
                                 VARTYPE vt) {
    return ::VariantChangeType(pvargDest, const_cast<VARIANT *>(pvarSrc), wFlags, vt);
}
#else

// --- BSTR: length-prefixed UTF-16 strings. -------------------------------
BSTR SysAllocString(const OLECHAR *psz);
BSTR SysAllocStringLen(const OLECHAR *pch, UINT cch);
/// A BSTR holding len bytes copied from psz (zeroed when psz is null); the
/// length may be odd. Followed by a terminating character, like every BSTR.
BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
/// Length in bytes (without the terminator); 0 for nullptr.
UINT SysStringByteLen(BSTR bstr);

// --- VARIANT ------------------------------------------------------------
void VariantInit(VARIANT *pvarg);
/// Frees what the variant owns (BSTR, array, interface reference) and empties it.
HRESULT VariantClear(VARIANT *pvarg);
/// Deep copy: clears dest, then copies src (BSTRs and arrays duplicated, AddRef).
HRESULT VariantCopy(VARIANT *pvargDest, const VARIANT *pvargSrc);
/// As VariantCopy, but a VT_BYREF source is copied as the value it points to,
/// so the copy never points into memory the source's owner may free. One
/// level only: a VT_BYREF|VT_VARIANT whose target is by reference again is
/// refused with E_INVALIDARG, as is a null reference.
HRESULT VariantCopyInd(VARIANT *pvarDest, const VARIANT *pvargSrc);
/// Converts src to vt into dest (dest may equal src). Scalars of the data-type
/// table convert among themselves and to/from VT_BSTR; overflow gives
/// DISP_E_OVERFLOW, impossible conversions DISP_E_TYPEMISMATCH. An array
/// only copies to its own type, and a VT_ARRAY|VT_UI1 vector exchanges its
/// bytes with a VT_BSTR; no other conversion involves an array.
HRESULT VariantChangeType(VARIANT *pvargDest, const VARIANT *pvarSrc, USHORT wFlags, VARTYPE vt);

// --- SAFEARRAY ----------------------------------------------------------
SAFEARRAY *SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND *rgsabound);
SAFEARRAY *SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayDestroy(SAFEARRAY *psa);
UINT SafeArrayGetDim(SAFEARRAY *psa);
UINT SafeArrayGetElemsize(SAFEARRAY *psa);
HRESULT SafeArrayGetVartype(SAFEARRAY *psa, VARTYPE *pvt);
/// nDim is 1-based.
HRESULT SafeArrayGetLBound(SAFEARRAY *psa, UINT nDim, LONG *plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY *psa, UINT nDim, LONG *plUbound);
/// rgIndices holds one index per dimension; BSTR and VARIANT elements are copied.
HRESULT SafeArrayGetElement(SAFEARRAY *psa, LONG *rgIndices, void *pv);
HRESULT SafeArrayPutElement(SAFEARRAY *psa, LONG *rgIndices, void *pv);
HRESULT SafeArrayAccessData(SAFEARRAY *psa, void **ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY *psa);
HRESULT SafeArrayLock(SAFEARRAY *psa);
HRESULT SafeArrayUnlock(SAFEARRAY *psa);
HRESULT SafeArrayCopy(SAFEARRAY *psa, SAFEARRAY **ppsaOut);
#endif // _WIN32

/// Number of BSTRs allocated and not yet freed, process-wide. Kept by the
/// stand-in only: a Windows build answers 0, and counts task memory instead,
/// from which the system allocates BSTRs.
long long BStrLiveCount();
/// Number of SAFEARRAYs created and not yet destroyed, process-wide; 0 on
/// Windows, as BStrLiveCount.
long long SafeArrayLiveCount();

} // namespace vexo::platform
