//===- VariantChangeType.cpp - conversions between VARIANT types ---------===//
//
// This file implements VariantChangeType. A source value is first read into
// a small tagged value (integer, real, currency, date, boolean, text ...),
// then written as the target type with range checks: DISP_E_OVERFLOW when
// the value does not fit, DISP_E_TYPEMISMATCH when no conversion exists,
// DISP_E_BADVARTYPE for types a VARIANT cannot hold. Reals round half to
// even into integers and currency, as the automation library does. Arrays
// convert element by element. The destination is touched only on success.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Variant.h>
#include <vexo/platform/WideString.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "VariantText.h"
#include "VariantTypes.h"

namespace vexo::platform {
namespace {

using detail::i128;
using detail::u128;

constexpr u128 kDecimalLimit = u128(1) << 96;

/// A source value read out of a VARIANT (borrowed: the text points into the
/// source BSTR).
struct Value {
    enum Kind { Empty, Null, Int, Real, Cy, Date, Bool, Error, Str, Dec, Itf, Array } kind = Empty;
    i128 i = 0;
    double r = 0;
    bool single = false; // Real came from VT_R4 (7 significant digits in text)
    long long cy = 0;
    bool b = false;
    SCODE err = 0;
    std::u16string_view str;
    DECIMAL dec{};
    IUnknown *itf = nullptr;
    VARTYPE itfType = VT_UNKNOWN;
};

u128 DecMantissa(const DECIMAL &d) { return (u128(d.Hi32) << 64) | d.Lo64; }
bool DecNegative(const DECIMAL &d) { return (d.sign & 0x80) != 0; }

/// Reads a scalar of base type t stored at p.
Value Load(VARTYPE t, const void *p) {
    Value v;
    auto get = [p](auto tag) {
        decltype(tag) x;
        std::memcpy(&x, p, sizeof x);
        return x;
    };
    switch (t) {
    case VT_EMPTY:
        v.kind = Value::Empty;
        break;
    case VT_NULL:
        v.kind = Value::Null;
        break;
    case VT_I1:
        v.kind = Value::Int, v.i = get(std::int8_t{});
        break;
    case VT_UI1:
        v.kind = Value::Int, v.i = get(std::uint8_t{});
        break;
    case VT_I2:
        v.kind = Value::Int, v.i = get(std::int16_t{});
        break;
    case VT_UI2:
        v.kind = Value::Int, v.i = get(std::uint16_t{});
        break;
    case VT_I4:
    case VT_INT:
        v.kind = Value::Int, v.i = get(std::int32_t{});
        break;
    case VT_UI4:
    case VT_UINT:
        v.kind = Value::Int, v.i = get(std::uint32_t{});
        break;
    case VT_I8:
        v.kind = Value::Int, v.i = get(std::int64_t{});
        break;
    case VT_UI8:
        v.kind = Value::Int, v.i = get(std::uint64_t{});
        break;
    case VT_R4:
        v.kind = Value::Real, v.r = get(float{}), v.single = true;
        break;
    case VT_R8:
        v.kind = Value::Real, v.r = get(double{});
        break;
    case VT_DATE:
        v.kind = Value::Date, v.r = get(double{});
        break;
    case VT_CY:
        v.kind = Value::Cy, v.cy = get(std::int64_t{});
        break;
    case VT_BOOL:
        v.kind = Value::Bool, v.b = get(std::int16_t{}) != 0;
        break;
    case VT_ERROR:
        v.kind = Value::Error, v.err = get(std::int32_t{});
        break;
    case VT_BSTR: {
        BSTR s = get(BSTR{});
        v.kind = Value::Str, v.str = std::u16string_view(s ? s : u"", SysStringLen(s));
        break;
    }
    case VT_DECIMAL:
        v.kind = Value::Dec, v.dec = get(DECIMAL{});
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        v.kind = Value::Itf, v.itf = get(static_cast<IUnknown *>(nullptr)), v.itfType = t;
        break;
    default:
        v.kind = Value::Null;
        break;
    }
    return v;
}

/// Reads a VARIANT's scalar value, following one VT_BYREF level.
Value LoadVariant(const VARIANT &var) {
    VARTYPE base = var.vt & VT_TYPEMASK;
    if (var.vt & VT_ARRAY)
        return Value{Value::Array};
    if (var.vt & VT_BYREF) {
        if (!var.byref)
            return Value{Value::Null};
        if (base == VT_VARIANT) // one level: a chain (or a loop) of references reads as null
            return var.pvarVal->vt & VT_BYREF ? Value{Value::Null} : LoadVariant(*var.pvarVal);
        return Load(base, var.byref);
    }
    if (base == VT_DECIMAL)
        return Load(VT_DECIMAL, &var.decVal);
    return Load(base, &var.llVal);
}

HRESULT RealToInteger(double x, i128 &out) {
    if (!std::isfinite(x))
        return DISP_E_OVERFLOW;
    double r = std::nearbyint(x); // default rounding mode: half to even
    if (std::fabs(r) > 1e38)
        return DISP_E_OVERFLOW;
    out = static_cast<i128>(r);
    return S_OK;
}

HRESULT ToInteger(const Value &v, bool unsignedTarget, i128 lo, i128 hi, i128 &out) {
    switch (v.kind) {
    case Value::Empty:
        out = 0;
        break;
    case Value::Int:
        out = v.i;
        break;
    case Value::Real:
    case Value::Date: {
        HRESULT hr = RealToInteger(v.r, out);
        if (FAILED(hr))
            return hr;
        break;
    }
    case Value::Cy: {
        u128 m;
        u128 mag = v.cy < 0 ? u128(-(i128)v.cy) : u128(v.cy);
        detail::ScaleToInteger(mag, -4, m);
        out = v.cy < 0 ? -i128(m) : i128(m);
        break;
    }
    // True is -1; an unsigned target takes its bit pattern (all ones).
    case Value::Bool:
        out = v.b ? (unsignedTarget ? hi : -1) : 0;
        break;
    case Value::Dec: {
        u128 m;
        detail::ScaleToInteger(DecMantissa(v.dec), -v.dec.scale, m);
        out = DecNegative(v.dec) ? -i128(m) : i128(m);
        break;
    }
    case Value::Str: {
        auto p = detail::ParseNumber(v.str);
        if (!p)
            return DISP_E_TYPEMISMATCH;
        if (p->exact) {
            u128 m;
            if (!detail::ScaleToInteger(p->mantissa, p->exp10, m) || m > u128(1) << 100)
                return DISP_E_OVERFLOW;
            out = p->negative ? -i128(m) : i128(m);
        } else {
            HRESULT hr = RealToInteger(p->value, out);
            if (FAILED(hr))
                return hr;
        }
        break;
    }
    case Value::Error:
        // A status code reads as its 32-bit pattern for 32-bit targets only.
        if (hi == 0xFFFFFFFF) {
            out = static_cast<std::uint32_t>(v.err);
            return S_OK;
        }
        if (hi == 0x7FFFFFFF) {
            out = v.err;
            return S_OK;
        }
        return DISP_E_TYPEMISMATCH;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    return out < lo || out > hi ? DISP_E_OVERFLOW : S_OK;
}

HRESULT ToReal(const Value &v, double &out) {
    switch (v.kind) {
    case Value::Empty:
        out = 0;
        return S_OK;
    case Value::Int:
        out = static_cast<double>(v.i);
        return S_OK;
    case Value::Real:
    case Value::Date:
        out = v.r;
        return S_OK;
    case Value::Cy:
        out = static_cast<double>(v.cy) / 10000.0;
        return S_OK;
    case Value::Bool:
        out = v.b ? -1.0 : 0.0;
        return S_OK;
    case Value::Dec:
        out = static_cast<double>(DecMantissa(v.dec)) / std::pow(10.0, v.dec.scale);
        if (DecNegative(v.dec))
            out = -out;
        return S_OK;
    case Value::Str: {
        auto p = detail::ParseNumber(v.str);
        if (!p)
            return DISP_E_TYPEMISMATCH;
        if (std::isinf(p->value))
            return DISP_E_OVERFLOW;
        out = p->value;
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToCurrency(const Value &v, LONGLONG &out) {
    i128 scaled;
    switch (v.kind) {
    case Value::Empty:
        scaled = 0;
        break;
    case Value::Int:
        scaled = v.i * 10000;
        break;
    case Value::Cy:
        out = v.cy;
        return S_OK;
    case Value::Bool:
        scaled = v.b ? -10000 : 0;
        break;
    case Value::Real:
    case Value::Date: {
        HRESULT hr = RealToInteger(v.r * 10000.0, scaled);
        if (FAILED(hr))
            return hr;
        break;
    }
    case Value::Dec: {
        u128 m;
        if (!detail::ScaleToInteger(DecMantissa(v.dec), 4 - v.dec.scale, m))
            return DISP_E_OVERFLOW;
        scaled = DecNegative(v.dec) ? -i128(m) : i128(m);
        break;
    }
    case Value::Str: {
        auto p = detail::ParseNumber(v.str);
        if (!p)
            return DISP_E_TYPEMISMATCH;
        if (p->exact) {
            u128 m;
            if (!detail::ScaleToInteger(p->mantissa, p->exp10 + 4, m) || m > u128(1) << 100)
                return DISP_E_OVERFLOW;
            scaled = p->negative ? -i128(m) : i128(m);
        } else {
            HRESULT hr = RealToInteger(p->value * 10000.0, scaled);
            if (FAILED(hr))
                return hr;
        }
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    if (scaled < INT64_MIN || scaled > INT64_MAX)
        return DISP_E_OVERFLOW;
    out = static_cast<long long>(scaled);
    return S_OK;
}

HRESULT ToDate(const Value &v, double &out) {
    if (v.kind == Value::Str) {
        auto d = detail::ParseDate(v.str);
        if (!d)
            return DISP_E_TYPEMISMATCH;
        out = *d;
        return S_OK;
    }
    HRESULT hr = ToReal(v, out);
    if (FAILED(hr))
        return hr;
    return out >= detail::kMinDate && out < detail::kMaxDateExclusive ? S_OK : DISP_E_OVERFLOW;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 32 : a[i];
        char16_t y = b[i] >= u'A' && b[i] <= u'Z' ? b[i] + 32 : b[i];
        if (x != y)
            return false;
    }
    return true;
}

HRESULT ToBool(const Value &v, bool &out) {
    switch (v.kind) {
    case Value::Empty:
        out = false;
        return S_OK;
    case Value::Int:
        out = v.i != 0;
        return S_OK;
    case Value::Real:
    case Value::Date:
        out = v.r != 0;
        return S_OK;
    case Value::Cy:
        out = v.cy != 0;
        return S_OK;
    case Value::Bool:
        out = v.b;
        return S_OK;
    case Value::Dec:
        out = DecMantissa(v.dec) != 0;
        return S_OK;
    case Value::Str: {
        std::u16string_view s = v.str;
        while (!s.empty() && s.front() == u' ')
            s.remove_prefix(1);
        while (!s.empty() && s.back() == u' ')
            s.remove_suffix(1);
        if (EqualsNoCase(s, u"true") || EqualsNoCase(s, u"#true#")) {
            out = true;
            return S_OK;
        }
        if (EqualsNoCase(s, u"false") || EqualsNoCase(s, u"#false#")) {
            out = false;
            return S_OK;
        }
        auto p = detail::ParseNumber(s);
        if (!p)
            return DISP_E_TYPEMISMATCH;
        out = p->exact ? p->mantissa != 0 : p->value != 0;
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

/// Builds a DECIMAL from (-1)^neg * mantissa * 10^exp10, rounding away digits
/// beyond 28 decimals or 96 bits.
HRESULT MakeDecimal(bool neg, u128 mantissa, int exp10, DECIMAL &out) {
    if (exp10 > 0) {
        if (!detail::ScaleToInteger(mantissa, exp10, mantissa))
            return DISP_E_OVERFLOW;
        exp10 = 0;
    }
    int scale = -exp10;
    if (scale > 28) {
        detail::ScaleToInteger(mantissa, 28 - scale, mantissa);
        scale = 28;
    }
    while (mantissa >= kDecimalLimit && scale > 0) {
        detail::ScaleToInteger(mantissa, -1, mantissa);
        --scale;
    }
    if (mantissa >= kDecimalLimit)
        return DISP_E_OVERFLOW;
    out = DECIMAL{};
    out.scale = static_cast<BYTE>(scale);
    out.sign = neg && mantissa != 0 ? 0x80 : 0;
    out.Hi32 = static_cast<ULONG>(mantissa >> 64);
    out.Lo64 = static_cast<ULONGLONG>(mantissa);
    return S_OK;
}

HRESULT DecimalFromText(std::u16string_view text, DECIMAL &out) {
    auto p = detail::ParseNumber(text);
    if (!p)
        return DISP_E_TYPEMISMATCH;
    if (!p->exact) {
        if (std::isinf(p->value))
            return DISP_E_OVERFLOW;
        std::u16string t = Utf8ToUtf16(detail::FormatDouble(p->value, 15));
        p = detail::ParseNumber(t);
        if (!p || !p->exact)
            return DISP_E_OVERFLOW;
    }
    return MakeDecimal(p->negative, p->mantissa, p->exp10, out);
}

HRESULT ToDecimal(const Value &v, DECIMAL &out) {
    switch (v.kind) {
    case Value::Empty:
        return MakeDecimal(false, 0, 0, out);
    case Value::Int:
        return MakeDecimal(v.i < 0, v.i < 0 ? u128(-v.i) : u128(v.i), 0, out);
    case Value::Bool:
        return MakeDecimal(v.b, v.b ? 1 : 0, 0, out);
    case Value::Cy:
        return MakeDecimal(v.cy < 0, v.cy < 0 ? u128(-(i128)v.cy) : u128(v.cy), -4, out);
    case Value::Dec:
        out = v.dec;
        return S_OK;
    case Value::Str:
        return DecimalFromText(v.str, out);
    case Value::Real:
    case Value::Date: {
        if (!std::isfinite(v.r))
            return DISP_E_OVERFLOW;
        // Through the 15-digit text, so 0.1 becomes exactly 0.1.
        std::u16string t = Utf8ToUtf16(detail::FormatDouble(v.r, v.single ? 7 : 15));
        return DecimalFromText(t, out);
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

std::string IntegerText(i128 i) {
    return detail::FormatScaled(i < 0, i < 0 ? u128(-i) : u128(i), 0);
}

HRESULT ToText(const Value &v, USHORT flags, std::u16string &out) {
    std::string s;
    switch (v.kind) {
    case Value::Empty:
        break;
    case Value::Int:
        s = IntegerText(v.i);
        break;
    case Value::Real:
        s = detail::FormatDouble(v.r, v.single ? 7 : 15);
        break;
    case Value::Cy:
        s = detail::FormatScaled(v.cy < 0, v.cy < 0 ? u128(-(i128)v.cy) : u128(v.cy), 4);
        break;
    case Value::Date: {
        auto d = detail::FormatDate(v.r);
        if (!d)
            return DISP_E_OVERFLOW;
        s = *d;
        break;
    }
    case Value::Bool:
        if (flags & VARIANT_ALPHABOOL)
            s = v.b ? "True" : "False";
        else
            s = v.b ? "-1" : "0";
        break;
    case Value::Dec:
        s = detail::FormatScaled(DecNegative(v.dec), DecMantissa(v.dec), v.dec.scale);
        break;
    case Value::Str:
        out.assign(v.str);
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    out = Utf8ToUtf16(s);
    return S_OK;
}

struct IntRange {
    i128 lo, hi;
    bool isUnsigned;
};

bool IntegerTarget(VARTYPE vt, IntRange &r) {
    switch (vt) {
    case VT_I1:
        r = {INT8_MIN, INT8_MAX, false};
        return true;
    case VT_UI1:
        r = {0, UINT8_MAX, true};
        return true;
    case VT_I2:
        r = {INT16_MIN, INT16_MAX, false};
        return true;
    case VT_UI2:
        r = {0, UINT16_MAX, true};
        return true;
    case VT_I4:
    case VT_INT:
        r = {INT32_MIN, INT32_MAX, false};
        return true;
    case VT_UI4:
    case VT_UINT:
        r = {0, UINT32_MAX, true};
        return true;
    case VT_I8:
        r = {INT64_MIN, INT64_MAX, false};
        return true;
    case VT_UI8:
        r = {0, UINT64_MAX, true};
        return true;
    default:
        return false;
    }
}

/// Writes v as scalar type vt into the empty VARIANT out.
HRESULT ConvertScalar(const Value &v, USHORT flags, VARTYPE vt, VARIANT &out) {
    if (v.kind == Value::Array)
        return DISP_E_TYPEMISMATCH;
    if (v.kind == Value::Null)
        return vt == VT_NULL || vt == VT_EMPTY ? (out.vt = vt, S_OK) : DISP_E_TYPEMISMATCH;
    if (v.kind == Value::Itf) {
        // Interfaces keep their identity; no default-property evaluation.
        if (vt == v.itfType || vt == VT_UNKNOWN) {
            out.vt = vt;
            out.punkVal = v.itf;
            if (v.itf)
                v.itf->AddRef();
            return S_OK;
        }
        return vt == VT_EMPTY ? (out.vt = VT_EMPTY, S_OK) : DISP_E_TYPEMISMATCH;
    }
    if (v.kind == Value::Error && vt != VT_ERROR && vt != VT_EMPTY) {
        IntRange r;
        if (!IntegerTarget(vt, r))
            return DISP_E_TYPEMISMATCH;
    }
    IntRange range;
    if (IntegerTarget(vt, range)) {
        i128 i;
        HRESULT hr = ToInteger(v, range.isUnsigned, range.lo, range.hi, i);
        if (FAILED(hr))
            return hr;
        out.llVal = 0;
        switch (vt) {
        case VT_I1:
            out.cVal = static_cast<CHAR>(i);
            break;
        case VT_UI1:
            out.bVal = static_cast<BYTE>(i);
            break;
        case VT_I2:
            out.iVal = static_cast<SHORT>(i);
            break;
        case VT_UI2:
            out.uiVal = static_cast<USHORT>(i);
            break;
        case VT_I4:
        case VT_INT:
            out.lVal = static_cast<LONG>(i);
            break;
        case VT_UI4:
        case VT_UINT:
            out.ulVal = static_cast<ULONG>(i);
            break;
        case VT_I8:
            out.llVal = static_cast<LONGLONG>(i);
            break;
        default:
            out.ullVal = static_cast<ULONGLONG>(i);
            break;
        }
        out.vt = vt;
        return S_OK;
    }
    HRESULT hr = S_OK;
    switch (vt) {
    case VT_EMPTY:
        break;
    case VT_NULL:
        return v.kind == Value::Empty ? (out.vt = VT_NULL, S_OK) : DISP_E_TYPEMISMATCH;
    case VT_R4: {
        double d;
        if (FAILED(hr = ToReal(v, d)))
            return hr;
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX)
            return DISP_E_OVERFLOW;
        out.fltVal = static_cast<float>(d);
        break;
    }
    case VT_R8:
        if (FAILED(hr = ToReal(v, out.dblVal)))
            return hr;
        break;
    case VT_DATE:
        if (FAILED(hr = ToDate(v, out.date)))
            return hr;
        break;
    case VT_CY:
        if (FAILED(hr = ToCurrency(v, out.cyVal.int64)))
            return hr;
        break;
    case VT_BOOL: {
        bool b;
        if (FAILED(hr = ToBool(v, b)))
            return hr;
        out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    case VT_ERROR:
        if (v.kind == Value::Error) {
            out.scode = v.err;
        } else if (v.kind == Value::Int) {
            if (v.i < INT32_MIN || v.i > UINT32_MAX)
                return DISP_E_OVERFLOW;
            out.scode = static_cast<SCODE>(static_cast<std::uint32_t>(v.i));
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        break;
    case VT_BSTR: {
        std::u16string text;
        if (FAILED(hr = ToText(v, flags, text)))
            return hr;
        out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!out.bstrVal)
            return E_OUTOFMEMORY;
        break;
    }
    case VT_DECIMAL: {
        DECIMAL d;
        if (FAILED(hr = ToDecimal(v, d)))
            return hr;
        out.decVal = d;
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH; // VT_UNKNOWN/VT_DISPATCH from a non-interface
    }
    out.vt = vt;
    return S_OK;
}

/// Converts where an array is involved. Arrays are only copied, to the same
/// type; the one exchange with a scalar is between a string and the bytes of
/// a one-dimensional VT_UI1 array. Anything else would convert element by
/// element, which is refused like any other impossible conversion.
HRESULT ConvertWithArray(const VARIANT &src, VARTYPE vt, VARIANT &result) {
    const VARTYPE srcType = src.vt & ~VT_BYREF;
    SAFEARRAY *arr = nullptr;
    if (srcType & VT_ARRAY)
        arr = (src.vt & VT_BYREF) ? (src.byref ? *static_cast<SAFEARRAY **>(src.byref) : nullptr)
                                  : src.parray;
    if ((srcType & VT_ARRAY) && srcType == vt) {
        HRESULT hr = arr ? SafeArrayCopy(arr, &result.parray) : S_OK;
        if (SUCCEEDED(hr))
            result.vt = vt;
        return hr;
    }
    if (srcType == (VT_ARRAY | VT_UI1) && vt == VT_BSTR) {
        if (!arr || arr->cDims != 1)
            return E_INVALIDARG;
        BSTR s = SysAllocStringByteLen(static_cast<const char *>(arr->pvData),
                                       arr->rgsabound[0].cElements);
        if (!s)
            return E_OUTOFMEMORY;
        result.vt = VT_BSTR;
        result.bstrVal = s;
        return S_OK;
    }
    if (srcType == VT_BSTR && vt == (VT_ARRAY | VT_UI1)) {
        BSTR s = (src.vt & VT_BYREF) ? (src.byref ? *static_cast<BSTR *>(src.byref) : nullptr)
                                     : src.bstrVal;
        const UINT bytes = SysStringByteLen(s);
        SAFEARRAY *psa = SafeArrayCreateVector(VT_UI1, 0, bytes);
        if (!psa)
            return E_OUTOFMEMORY;
        if (bytes)
            std::memcpy(psa->pvData, s, bytes);
        result.vt = vt;
        result.parray = psa;
        return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
}

} // namespace

HRESULT VariantChangeType(VARIANT *pvargDest, const VARIANT *pvarSrc, USHORT wFlags, VARTYPE vt) {
    if (!pvargDest)
        return E_POINTER;
    if (!pvarSrc)
        return E_INVALIDARG;
    if (!detail::IsValidVariantType(pvarSrc->vt))
        return DISP_E_BADVARTYPE;
    if (vt & VT_BYREF)
        return DISP_E_TYPEMISMATCH;
    if (!detail::IsValidVariantType(vt))
        return DISP_E_BADVARTYPE;

    VARIANT result;
    VariantInit(&result);
    result.llVal = 0;
    if ((pvarSrc->vt & VT_ARRAY) || (vt & VT_ARRAY)) {
        HRESULT hr = ConvertWithArray(*pvarSrc, vt, result);
        if (FAILED(hr))
            return hr;
    } else {
        HRESULT hr = ConvertScalar(LoadVariant(*pvarSrc), wFlags, vt, result);
        if (FAILED(hr)) {
            VariantClear(&result);
            return hr;
        }
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    std::memcpy(pvargDest, &result, sizeof(VARIANT));
    return S_OK;
}

} // namespace vexo::platform
