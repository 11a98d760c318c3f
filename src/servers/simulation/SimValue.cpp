//===- SimValue.cpp - value helpers of the simulation ---------------------===//
//
// Builds, compares and converts the values the simulated tags carry. Numbers
// are clamped into the range of the target type so that a ramp or a random
// generator never overflows a small integer tag.
//
//===----------------------------------------------------------------------===//
#include "SimValue.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <vexo/platform/WideString.h>

namespace vexo::sim {
namespace {

template <class T> T Clamped(double x) {
    if (std::isnan(x))
        return T{};
    const double lo = static_cast<double>(std::numeric_limits<T>::lowest());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (x <= lo)
        return std::numeric_limits<T>::lowest();
    if (x >= hi)
        return std::numeric_limits<T>::max();
    if constexpr (std::is_integral_v<T>)
        return static_cast<T>(std::llround(x));
    else
        return static_cast<T>(x);
}

vexo::platform::WideString NumberText(double x) {
    char buf[64];
    if (x == std::floor(x) && std::fabs(x) < 1e15)
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(x));
    else
        std::snprintf(buf, sizeof buf, "%.6g", x);
    return platform::Utf8ToUtf16(buf);
}

void SetScalar(VARIANT &v, VARTYPE vt, double x) {
    v.vt = vt;
    switch (vt) {
    case VT_I1: v.cVal = Clamped<signed char>(x); break;
    case VT_I2: v.iVal = Clamped<SHORT>(x); break;
    case VT_I4: v.lVal = Clamped<LONG>(x); break;
    case VT_I8: v.llVal = Clamped<LONGLONG>(x); break;
    case VT_UI1: v.bVal = Clamped<BYTE>(x); break;
    case VT_UI2: v.uiVal = Clamped<USHORT>(x); break;
    case VT_UI4: v.ulVal = Clamped<ULONG>(x); break;
    case VT_UI8: v.ullVal = Clamped<ULONGLONG>(x); break;
    case VT_INT: v.intVal = Clamped<INT>(x); break;
    case VT_UINT: v.uintVal = Clamped<UINT>(x); break;
    case VT_R4: v.fltVal = Clamped<float>(x); break;
    case VT_R8: v.dblVal = x; break;
    case VT_CY: v.cyVal.int64 = Clamped<LONGLONG>(x * 10000.0); break;
    case VT_DATE: v.date = x; break;
    case VT_BOOL: v.boolVal = x != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_BSTR: {
        const vexo::platform::WideString text = NumberText(x);
        v.bstrVal = platform::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        break;
    }
    default: v.vt = VT_EMPTY; break;
    }
}

std::size_t ScalarBytes(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    default: return 0;
    }
}

bool SameArray(SAFEARRAY *a, SAFEARRAY *b, VARTYPE elem) {
    if (a == b)
        return true;
    if (!a || !b || a->cDims != 1 || b->cDims != 1)
        return false;
    if (a->rgsabound[0].cElements != b->rgsabound[0].cElements ||
        a->rgsabound[0].lLbound != b->rgsabound[0].lLbound)
        return false;
    const ULONG n = a->rgsabound[0].cElements;
    if (elem == VT_BSTR) {
        auto *x = static_cast<BSTR *>(a->pvData);
        auto *y = static_cast<BSTR *>(b->pvData);
        for (ULONG i = 0; i < n; ++i) {
            const UINT lx = platform::SysStringLen(x[i]), ly = platform::SysStringLen(y[i]);
            if (lx != ly || (lx && std::memcmp(x[i], y[i], lx * sizeof(OLECHAR)) != 0))
                return false;
        }
        return true;
    }
    return std::memcmp(a->pvData, b->pvData, std::size_t(n) * a->cbElements) == 0;
}

} // namespace

bool IsSupportedScalar(VARTYPE vt) {
    return ScalarBytes(vt) != 0 || vt == VT_BSTR;
}

bool CanConvert(VARTYPE from, VARTYPE requested) {
    if (requested == VT_EMPTY || requested == from)
        return true;
    if ((from & VT_ARRAY) || (requested & VT_ARRAY))
        return false;
    return IsSupportedScalar(from) && IsSupportedScalar(requested);
}

SimVar MakeValue(VARTYPE vt, double x, int arrayLength) {
    SimVar out;
    VARIANT &v = out.Get();
    if (!(vt & VT_ARRAY)) {
        SetScalar(v, vt, x);
        return out;
    }
    const VARTYPE elem = vt & VT_TYPEMASK;
    SAFEARRAY *psa = platform::SafeArrayCreateVector(elem, 0, static_cast<ULONG>(arrayLength));
    if (!psa)
        return out;
    for (LONG i = 0; i < arrayLength; ++i) {
        SimVar e;
        SetScalar(e.Get(), elem, x + i);
        void *element = elem == VT_BSTR ? static_cast<void *>(e.Get().bstrVal)
                                        : static_cast<void *>(&e.Get().llVal);
        platform::SafeArrayPutElement(psa, &i, element);
    }
    v.vt = vt;
    v.parray = psa;
    return out;
}

HRESULT ConvertValue(VARIANT &dest, const VARIANT &src, VARTYPE vt) {
    if (vt == VT_EMPTY || vt == src.vt)
        return platform::VariantCopy(&dest, &src);
    if ((vt & VT_ARRAY) || (src.vt & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;
    return platform::VariantChangeType(&dest, &src, 0, vt);
}

bool SameValue(const VARIANT &a, const VARIANT &b) {
    if (a.vt != b.vt)
        return false;
    if (a.vt & VT_ARRAY)
        return SameArray(a.parray, b.parray, a.vt & VT_TYPEMASK);
    if (a.vt == VT_BSTR) {
        const UINT la = platform::SysStringLen(a.bstrVal), lb = platform::SysStringLen(b.bstrVal);
        return la == lb && (la == 0 || std::memcmp(a.bstrVal, b.bstrVal, la * 2) == 0);
    }
    const std::size_t n = ScalarBytes(a.vt);
    return n == 0 || std::memcmp(&a.llVal, &b.llVal, n) == 0;
}

bool ValueAsDouble(const VARIANT &v, double &out) {
    switch (v.vt) {
    case VT_I1: out = v.cVal; return true;
    case VT_I2: out = v.iVal; return true;
    case VT_I4: out = v.lVal; return true;
    case VT_I8: out = static_cast<double>(v.llVal); return true;
    case VT_UI1: out = v.bVal; return true;
    case VT_UI2: out = v.uiVal; return true;
    case VT_UI4: out = v.ulVal; return true;
    case VT_UI8: out = static_cast<double>(v.ullVal); return true;
    case VT_INT: out = v.intVal; return true;
    case VT_UINT: out = v.uintVal; return true;
    case VT_R4: out = v.fltVal; return true;
    case VT_R8: out = v.dblVal; return true;
    case VT_CY: out = static_cast<double>(v.cyVal.int64) / 10000.0; return true;
    case VT_DATE: out = v.date; return true;
    case VT_BOOL: out = v.boolVal ? 1 : 0; return true;
    default: return false;
    }
}

std::string ValueText(const VARIANT &v) {
    if (v.vt == VT_BSTR)
        return "\"" + platform::Utf16ToUtf8(vexo::platform::WideStringView(
                          v.bstrVal ? v.bstrVal : OLESTR(""), platform::SysStringLen(v.bstrVal))) +
               "\"";
    if (v.vt & VT_ARRAY)
        return "array";
    double x = 0;
    if (!ValueAsDouble(v, x))
        return "vt" + std::to_string(v.vt);
    return platform::Utf16ToUtf8(NumberText(x));
}

} // namespace vexo::sim
