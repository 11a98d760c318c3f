//===- SafeArray.cpp - multi-dimensional SAFEARRAYs ----------------------===//
//
// This file implements SAFEARRAYs with the Windows layout. The element type
// is kept in a hidden header in front of the public struct, as Windows does,
// so SafeArrayGetVartype works for every array created here. Bounds are
// stored rightmost dimension first; indices are passed leftmost first and the
// leftmost dimension varies fastest in memory. BSTR, VARIANT and interface
// elements are owned by the array: copied in and out, freed on destroy.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Variant.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "VariantTypes.h"

namespace vexo::platform {
namespace {

std::atomic<long long> gLiveArrays{0};

/// Hidden header placed before the SAFEARRAY, aligned so the struct that
/// follows keeps its natural alignment.
struct alignas(16) Hidden {
    VARTYPE vt;
};

Hidden *HiddenOf(SAFEARRAY *psa) { return reinterpret_cast<Hidden *>(psa) - 1; }

std::size_t HeaderBytes(UINT cDims) {
    return sizeof(Hidden) + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
}

/// Number of elements over all dimensions; false when it overflows.
bool CellCount(const SAFEARRAY *psa, std::size_t &count) {
    count = 1;
    for (UINT i = 0; i < psa->cDims; ++i) {
        std::size_t n = psa->rgsabound[i].cElements;
        if (n != 0 && count > SIZE_MAX / n)
            return false;
        count *= n;
    }
    return true;
}

std::atomic_ref<ULONG> Locks(SAFEARRAY *psa) { return std::atomic_ref<ULONG>(psa->cLocks); }

/// Releases whatever the element at p owns.
void ClearElement(VARTYPE vt, void *p) {
    switch (vt) {
    case VT_BSTR: {
        auto &b = *static_cast<BSTR *>(p);
        SysFreeString(b);
        b = nullptr;
        break;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        auto &u = *static_cast<IUnknown **>(p);
        if (u)
            u->Release();
        u = nullptr;
        break;
    }
    case VT_VARIANT:
        VariantClear(static_cast<VARIANT *>(p));
        break;
    default:
        break;
    }
}

/// Copies one element from src to the uninitialised slot dst.
HRESULT CopyElement(VARTYPE vt, const void *src, void *dst, UINT size) {
    switch (vt) {
    case VT_BSTR: {
        BSTR s = *static_cast<const BSTR *>(src);
        BSTR d = nullptr;
        if (s && !(d = SysAllocStringLen(s, SysStringLen(s))))
            return E_OUTOFMEMORY;
        *static_cast<BSTR *>(dst) = d;
        return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        IUnknown *u = *static_cast<IUnknown *const *>(src);
        if (u)
            u->AddRef();
        *static_cast<IUnknown **>(dst) = u;
        return S_OK;
    }
    case VT_VARIANT:
        VariantInit(static_cast<VARIANT *>(dst));
        return VariantCopy(static_cast<VARIANT *>(dst), static_cast<const VARIANT *>(src));
    default:
        std::memcpy(dst, src, size);
        return S_OK;
    }
}

/// Address of the cell named by rgIndices (leftmost dimension first);
/// nullptr when an index is out of range.
void *CellAddress(SAFEARRAY *psa, const LONG *rgIndices) {
    std::size_t offset = 0, stride = 1;
    for (UINT dim = 0; dim < psa->cDims; ++dim) {
        const SAFEARRAYBOUND &b = psa->rgsabound[psa->cDims - 1 - dim];
        long long rel = static_cast<long long>(rgIndices[dim]) - b.lLbound;
        if (rel < 0 || rel >= static_cast<long long>(b.cElements))
            return nullptr;
        offset += static_cast<std::size_t>(rel) * stride;
        stride *= b.cElements;
    }
    return static_cast<char *>(psa->pvData) + offset * psa->cbElements;
}

USHORT FeaturesFor(VARTYPE vt) {
    USHORT f = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR)
        f |= FADF_BSTR;
    else if (vt == VT_UNKNOWN)
        f |= FADF_UNKNOWN;
    else if (vt == VT_DISPATCH)
        f |= FADF_DISPATCH;
    else if (vt == VT_VARIANT)
        f |= FADF_VARIANT;
    return f;
}

/// Allocates the header and zeroed data for an array with the given bounds
/// (already in stored order, rightmost dimension first).
SAFEARRAY *Allocate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND *stored) {
    UINT size = detail::ElementSize(vt);
    if (cDims == 0 || cDims > 0xFFFF || size == 0)
        return nullptr;
    void *raw = std::calloc(1, HeaderBytes(cDims));
    if (!raw)
        return nullptr;
    auto *hidden = static_cast<Hidden *>(raw);
    hidden->vt = vt;
    auto *psa = reinterpret_cast<SAFEARRAY *>(hidden + 1);
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = size;
    std::memcpy(psa->rgsabound, stored, cDims * sizeof(SAFEARRAYBOUND));
    std::size_t cells;
    if (!CellCount(psa, cells) || cells > SIZE_MAX / size) {
        std::free(raw);
        return nullptr;
    }
    // Zeroed cells are valid empty elements: VT_EMPTY variants, null BSTRs.
    psa->pvData = std::calloc(cells ? cells : 1, size);
    if (!psa->pvData) {
        std::free(raw);
        return nullptr;
    }
    gLiveArrays.fetch_add(1, std::memory_order_relaxed);
    return psa;
}

void FreeArray(SAFEARRAY *psa) {
    std::free(psa->pvData);
    std::free(HiddenOf(psa));
    gLiveArrays.fetch_sub(1, std::memory_order_relaxed);
}

} // namespace

SAFEARRAY *SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND *rgsabound) {
    if (!rgsabound || cDims == 0 || cDims > 0xFFFF)
        return nullptr;
    // Callers give dimension 1 first; the struct stores it last.
    SAFEARRAYBOUND *stored = new (std::nothrow) SAFEARRAYBOUND[cDims];
    if (!stored)
        return nullptr;
    for (UINT i = 0; i < cDims; ++i)
        stored[cDims - 1 - i] = rgsabound[i];
    SAFEARRAY *psa = Allocate(vt, cDims, stored);
    delete[] stored;
    return psa;
}

SAFEARRAY *SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND b{cElements, lLbound};
    return Allocate(vt, 1, &b);
}

HRESULT SafeArrayDestroy(SAFEARRAY *psa) {
    if (!psa)
        return S_OK;
    if (Locks(psa).load() != 0)
        return DISP_E_ARRAYISLOCKED;
    VARTYPE vt = HiddenOf(psa)->vt;
    if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH || vt == VT_VARIANT) {
        std::size_t cells = 0;
        CellCount(psa, cells);
        auto *p = static_cast<char *>(psa->pvData);
        for (std::size_t i = 0; i < cells; ++i)
            ClearElement(vt, p + i * psa->cbElements);
    }
    FreeArray(psa);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY *psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY *psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY *psa, VARTYPE *pvt) {
    if (!pvt)
        return E_INVALIDARG; // as the system answers a null out-pointer
    *pvt = VT_EMPTY;
    if (!psa)
        return E_INVALIDARG;
    *pvt = HiddenOf(psa)->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY *psa, UINT nDim, LONG *plLbound) {
    if (!plLbound)
        return E_INVALIDARG; // as the system answers a null out-pointer
    *plLbound = 0;
    if (!psa)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY *psa, UINT nDim, LONG *plUbound) {
    if (!plUbound)
        return E_INVALIDARG; // as the system answers a null out-pointer
    *plUbound = 0;
    if (!psa)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND &b = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY *psa, LONG *rgIndices, void *pv) {
    if (!pv)
        return E_INVALIDARG; // as the system answers a null out-pointer
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    void *cell = CellAddress(psa, rgIndices);
    if (!cell)
        return DISP_E_BADINDEX;
    // Held locked while reading so a concurrent destroy is refused.
    Locks(psa).fetch_add(1);
    HRESULT hr = CopyElement(HiddenOf(psa)->vt, cell, pv, psa->cbElements);
    Locks(psa).fetch_sub(1);
    return hr;
}

HRESULT SafeArrayPutElement(SAFEARRAY *psa, LONG *rgIndices, void *pv) {
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    void *cell = CellAddress(psa, rgIndices);
    if (!cell)
        return DISP_E_BADINDEX;
    VARTYPE vt = HiddenOf(psa)->vt;
    // pv is the value itself for BSTR and interface elements, a pointer to it
    // otherwise; a null BSTR or interface is a valid value.
    alignas(16) unsigned char fresh[sizeof(VARIANT)];
    HRESULT hr;
    if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        hr = CopyElement(vt, &pv, fresh, psa->cbElements);
    } else {
        if (!pv)
            return E_INVALIDARG;
        hr = CopyElement(vt, pv, fresh, psa->cbElements);
    }
    if (FAILED(hr))
        return hr;
    Locks(psa).fetch_add(1);
    ClearElement(vt, cell);
    std::memcpy(cell, fresh, psa->cbElements);
    Locks(psa).fetch_sub(1);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY *psa) {
    if (!psa)
        return E_INVALIDARG;
    Locks(psa).fetch_add(1);
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY *psa) {
    if (!psa)
        return E_INVALIDARG;
    ULONG cur = Locks(psa).load();
    do {
        if (cur == 0)
            return E_UNEXPECTED;
    } while (!Locks(psa).compare_exchange_weak(cur, cur - 1));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY *psa, void **ppvData) {
    if (!ppvData)
        return E_INVALIDARG; // as the system answers a null out-pointer
    *ppvData = nullptr;
    if (!psa)
        return E_INVALIDARG;
    Locks(psa).fetch_add(1);
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY *psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayCopy(SAFEARRAY *psa, SAFEARRAY **ppsaOut) {
    if (!ppsaOut)
        return E_INVALIDARG; // as the system answers a null out-pointer
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    VARTYPE vt = HiddenOf(psa)->vt;
    SAFEARRAY *out = Allocate(vt, psa->cDims, psa->rgsabound);
    if (!out)
        return E_OUTOFMEMORY;
    std::size_t cells = 0;
    CellCount(psa, cells);
    auto *src = static_cast<const char *>(psa->pvData);
    auto *dst = static_cast<char *>(out->pvData);
    for (std::size_t i = 0; i < cells; ++i) {
        HRESULT hr =
            CopyElement(vt, src + i * psa->cbElements, dst + i * psa->cbElements, psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(out);
            return hr;
        }
    }
    *ppsaOut = out;
    return S_OK;
}

long long SafeArrayLiveCount() { return gLiveArrays.load(std::memory_order_relaxed); }

} // namespace vexo::platform
