//===- Variants.cpp - OleVariant and the variant helpers -----------------===//
//
// This file implements OleVariant over the platform's VARIANT functions.
// Copies of scalar values are plain bit copies (no call, no allocation): the
// data path copies item values millions of times a second. Only values that
// own something (strings, arrays, interfaces, references) go through
// VariantCopy.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/Variants.h>

#include <charconv>
#include <cstdio>
#include <cstring>

#include <vexo/framework/DateUtils.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/platform/WideString.h>

namespace vexo {
namespace vp = vexo::platform;

namespace {

/// True when the VARIANT owns nothing, so a bit copy is a full copy.
inline bool IsPlain(VARTYPE vt) noexcept {
    if (vt & (VT_ARRAY | VT_BYREF | VT_VECTOR))
        return false;
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
    case VT_ERROR:
    case VT_DECIMAL:
    case VT_HRESULT:
        return true;
    default:
        return false;
    }
}

const char *TypeName(VARTYPE vt) {
    if (vt & VT_ARRAY)
        return "Array";
    switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: return "Empty";
    case VT_NULL: return "Null";
    case VT_I1: return "ShortInt";
    case VT_I2: return "SmallInt";
    case VT_I4: return "Integer";
    case VT_I8: return "Int64";
    case VT_UI1: return "Byte";
    case VT_UI2: return "Word";
    case VT_UI4: return "LongWord";
    case VT_UI8: return "UInt64";
    case VT_INT: return "Integer";
    case VT_UINT: return "LongWord";
    case VT_R4: return "Single";
    case VT_R8: return "Double";
    case VT_CY: return "Currency";
    case VT_DATE: return "Date";
    case VT_BSTR: return "OleStr";
    case VT_BOOL: return "Boolean";
    case VT_ERROR: return "Error";
    case VT_DECIMAL: return "Decimal";
    case VT_UNKNOWN: return "Unknown";
    case VT_DISPATCH: return "Dispatch";
    case VT_VARIANT: return "Variant";
    default: return "Unknown";
    }
}

/// Currency (scaled by 10,000) with up to four decimals, trailing zeros dropped.
std::string CurrencyText(LONGLONG Scaled) {
    const bool neg = Scaled < 0;
    const unsigned long long mag = neg ? 0 - static_cast<unsigned long long>(Scaled)
                                       : static_cast<unsigned long long>(Scaled);
    std::string r = neg ? "-" : "";
    r += std::to_string(mag / 10000);
    unsigned frac = static_cast<unsigned>(mag % 10000);
    if (frac) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04u", frac);
        std::string f(buf);
        while (!f.empty() && f.back() == '0')
            f.pop_back();
        r += "." + f;
    }
    return r;
}

std::string BStrText(BSTR b) {
    if (!b)
        return {};
    return vp::Utf16ToUtf8(platform::WideStringView(b, vp::SysStringLen(b)));
}

BSTR NewBStr(platform::WideStringView s) {
    BSTR b = vp::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    if (!b)
        OleError(E_OUTOFMEMORY);
    return b;
}

/// Text of a scalar VARIANT; nullptr-free, raises EVariantError when the
/// value has no text form.
std::string ScalarText(const VARIANT &v) {
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return {};
    case VT_BOOL:
        return v.boolVal ? "True" : "False";
    case VT_I1: return IntToStr(v.cVal);
    case VT_I2: return IntToStr(v.iVal);
    case VT_I4: return IntToStr(v.lVal);
    case VT_INT: return IntToStr(v.intVal);
    case VT_I8: return IntToStr(v.llVal);
    case VT_UI1: return IntToStr(v.bVal);
    case VT_UI2: return IntToStr(v.uiVal);
    case VT_UI4: return IntToStr(v.ulVal);
    case VT_UINT: return IntToStr(v.uintVal);
    case VT_UI8: return std::to_string(v.ullVal);
    case VT_ERROR: return IntToStr(v.scode);
    case VT_R4: {
        // The shortest text that reads back as the same single.
        char buf[32];
        float f = v.fltVal;
        if (f != f || f - f != 0)
            return FloatToStr(f);
        auto res = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::scientific);
        double back = StrToFloat(std::string_view(buf, static_cast<std::size_t>(res.ptr - buf)));
        return FloatToStr(back);
    }
    case VT_R8: return FloatToStr(v.dblVal);
    case VT_CY: return CurrencyText(v.cyVal.int64);
    case VT_DATE: return DateTimeToStr(v.date);
    case VT_BSTR: return BStrText(v.bstrVal);
    default:
        break;
    }
    // Anything else the platform can render (decimal, references to scalars).
    VARIANT tmp;
    vp::VariantInit(&tmp);
    if (FAILED(vp::VariantChangeType(&tmp, &v, 0, VT_BSTR)))
        throw EVariantError(std::string("Could not convert variant of type (") + TypeName(v.vt) +
                            ") into type (OleStr)");
    std::string r = BStrText(tmp.bstrVal);
    vp::VariantClear(&tmp);
    return r;
}

} // namespace

// --- OleVariant -------------------------------------------------------------

OleVariant::OleVariant(const OleVariant &Other) {
    if (IsPlain(Other.FVar.vt)) {
        FVar = Other.FVar;
        return;
    }
    vp::VariantInit(&FVar);
    OleCheck(vp::VariantCopy(&FVar, &Other.FVar));
}

OleVariant::OleVariant(OleVariant &&Other) noexcept : FVar(Other.FVar) {
    vp::VariantInit(&Other.FVar);
}

OleVariant::OleVariant(const VARIANT &V) {
    if (IsPlain(V.vt)) {
        FVar = V;
        return;
    }
    vp::VariantInit(&FVar);
    // An OleVariant owns its value: a reference is copied as what it points
    // to, never kept as a pointer into memory its owner may free.
    OleCheck(vp::VariantCopyInd(&FVar, &V));
}

OleVariant::OleVariant(bool V) {
    vp::VariantInit(&FVar);
    FVar.vt = VT_BOOL;
    FVar.boolVal = V ? VARIANT_TRUE : VARIANT_FALSE;
}

OleVariant::OleVariant(int V) {
    vp::VariantInit(&FVar);
    FVar.vt = VT_I4;
    FVar.lVal = V;
}

OleVariant::OleVariant(long long V) {
    vp::VariantInit(&FVar);
    FVar.vt = VT_I8;
    FVar.llVal = V;
}

OleVariant::OleVariant(unsigned V) {
    vp::VariantInit(&FVar);
    FVar.vt = VT_UI4;
    FVar.ulVal = V;
}

OleVariant::OleVariant(float V) {
    vp::VariantInit(&FVar);
    FVar.vt = VT_R4;
    FVar.fltVal = V;
}

OleVariant::OleVariant(double V) {
    vp::VariantInit(&FVar);
    FVar.vt = VT_R8;
    FVar.dblVal = V;
}

OleVariant::OleVariant(const char *V) : OleVariant(std::string_view(V ? V : "")) {}

OleVariant::OleVariant(std::string_view V) {
    vp::VariantInit(&FVar);
    BSTR b = NewBStr(vp::Utf8ToUtf16(V));
    FVar.vt = VT_BSTR;
    FVar.bstrVal = b;
}

OleVariant::OleVariant(platform::WideStringView V) {
    vp::VariantInit(&FVar);
    BSTR b = NewBStr(V);
    FVar.vt = VT_BSTR;
    FVar.bstrVal = b;
}

OleVariant &OleVariant::operator=(const OleVariant &Other) {
    if (this != &Other)
        *this = Other.FVar;
    return *this;
}

OleVariant &OleVariant::operator=(OleVariant &&Other) noexcept {
    if (this != &Other) {
        vp::VariantClear(&FVar);
        FVar = Other.FVar;
        vp::VariantInit(&Other.FVar);
    }
    return *this;
}

OleVariant &OleVariant::operator=(const VARIANT &V) {
    if (&V == &FVar)
        return *this;
    if (IsPlain(V.vt)) {
        if (!IsPlain(FVar.vt))
            vp::VariantClear(&FVar);
        FVar = V;
        return *this;
    }
    // Copy first, then drop the old value: a failed copy leaves this unchanged.
    VARIANT tmp;
    vp::VariantInit(&tmp);
    OleCheck(vp::VariantCopyInd(&tmp, &V)); // owned, as in the constructor
    vp::VariantClear(&FVar);
    FVar = tmp;
    return *this;
}

OleVariant OleVariant::Attach(VARIANT &V) noexcept {
    OleVariant r;
    r.FVar = V;
    vp::VariantInit(&V);
    return r;
}

VARIANT OleVariant::Detach() noexcept {
    VARIANT r = FVar;
    vp::VariantInit(&FVar);
    return r;
}

OleVariant OleVariant::ChangeType(VARTYPE Vt) const {
    VARIANT tmp;
    vp::VariantInit(&tmp);
    if (FAILED(vp::VariantChangeType(&tmp, &FVar, 0, Vt))) {
        std::string text;
        try {
            text = " '" + ScalarText(FVar) + "'";
        } catch (...) {
            text.clear(); // arrays and interfaces have no text to show
        }
        throw EVariantError(std::string("Could not convert variant") + text + " of type (" +
                            TypeName(FVar.vt) + ") into type (" + TypeName(Vt) + ")");
    }
    return Attach(tmp);
}

int OleVariant::AsInteger() const { return ChangeType(VT_I4).FVar.lVal; }
double OleVariant::AsDouble() const { return ChangeType(VT_R8).FVar.dblVal; }
bool OleVariant::AsBoolean() const { return ChangeType(VT_BOOL).FVar.boolVal != 0; }
std::string OleVariant::AsString() const { return VarToStr(*this); }

OleVariant OleVariant::Null() {
    OleVariant r;
    r.FVar.vt = VT_NULL;
    return r;
}

// --- Helpers ----------------------------------------------------------------

std::string VarToStr(const OleVariant &V) {
    if (V.VarType() & VT_ARRAY)
        throw EVariantError("Could not convert variant of type (Array) into type (OleStr)");
    return ScalarText(V.Var());
}

bool VarIsEmpty(const OleVariant &V) { return V.VarType() == VT_EMPTY; }
bool VarIsNull(const OleVariant &V) { return V.VarType() == VT_NULL; }

bool VarIsArray(const OleVariant &V) {
    return (V.VarType() & VT_ARRAY) != 0 && !(V.VarType() & VT_BYREF) && V.Var().parray;
}

int VarArrayDimCount(const OleVariant &V) {
    return VarIsArray(V) ? static_cast<int>(vp::SafeArrayGetDim(V.Var().parray)) : 0;
}

namespace {

SAFEARRAY *CheckedArray(const OleVariant &V, int Dim) {
    if (!VarIsArray(V))
        throw EVariantError("Variant is not an array");
    SAFEARRAY *psa = V.Var().parray;
    if (Dim < 1 || Dim > static_cast<int>(vp::SafeArrayGetDim(psa)))
        throw EVariantError(Format("Variant array has no dimension %d", {Dim}));
    return psa;
}

/// Bounds of a one-dimensional array, with Index checked against them. The
/// array must hold the element type the variant names: elements are copied
/// by that type, and a mismatch (from a careless sender) would overrun them.
SAFEARRAY *CheckedElement(const OleVariant &V, int Index) {
    SAFEARRAY *psa = CheckedArray(V, 1);
    if (vp::SafeArrayGetDim(psa) != 1)
        throw EVariantError("Variant array has more than one dimension");
    VARTYPE held = VT_EMPTY;
    if (FAILED(vp::SafeArrayGetVartype(psa, &held)) || held != (V.VarType() & VT_TYPEMASK))
        throw EVariantError("Variant array does not hold the element type it names");
    LONG lo = 0, hi = -1;
    vp::SafeArrayGetLBound(psa, 1, &lo);
    vp::SafeArrayGetUBound(psa, 1, &hi);
    if (Index < lo || Index > hi)
        throw EVariantError(Format("Variant array index out of bounds (%d)", {Index}));
    return psa;
}

} // namespace

int VarArrayLowBound(const OleVariant &V, int Dim) {
    LONG lo = 0;
    OleCheck(vp::SafeArrayGetLBound(CheckedArray(V, Dim), static_cast<UINT>(Dim), &lo));
    return lo;
}

int VarArrayHighBound(const OleVariant &V, int Dim) {
    LONG hi = 0;
    OleCheck(vp::SafeArrayGetUBound(CheckedArray(V, Dim), static_cast<UINT>(Dim), &hi));
    return hi;
}

OleVariant VarArrayGet(const OleVariant &V, int Index) {
    SAFEARRAY *psa = CheckedElement(V, Index);
    const VARTYPE elem = V.VarType() & VT_TYPEMASK;
    LONG idx = Index;
    VARIANT out;
    vp::VariantInit(&out);
    if (elem == VT_VARIANT) {
        OleCheck(vp::SafeArrayGetElement(psa, &idx, &out));
    } else if (elem == VT_DECIMAL) {
        DECIMAL d{};
        OleCheck(vp::SafeArrayGetElement(psa, &idx, &d));
        out.decVal = d;
        out.vt = VT_DECIMAL;
    } else {
        OleCheck(vp::SafeArrayGetElement(psa, &idx, &out.llVal));
        out.vt = elem;
    }
    return OleVariant::Attach(out);
}

OleVariant VarArrayCreate(int Low, int High, VARTYPE Vt) {
    if (High < Low - 1)
        throw EVariantError(Format("Invalid variant array bounds (%d..%d)", {Low, High}));
    SAFEARRAY *psa = vp::SafeArrayCreateVector(
        Vt, Low, static_cast<ULONG>(static_cast<long long>(High) - Low + 1));
    if (!psa)
        throw EVariantError(std::string("Could not create variant array of type (") +
                            TypeName(Vt) + ")");
    VARIANT v;
    vp::VariantInit(&v);
    v.vt = static_cast<VARTYPE>(VT_ARRAY | Vt);
    v.parray = psa;
    return OleVariant::Attach(v);
}

void VarArrayPut(OleVariant &V, int Index, const OleVariant &Value) {
    SAFEARRAY *psa = CheckedElement(V, Index);
    const VARTYPE elem = V.VarType() & VT_TYPEMASK;
    LONG idx = Index;
    if (elem == VT_VARIANT) {
        OleCheck(vp::SafeArrayPutElement(psa, &idx, const_cast<VARIANT *>(&Value.Var())));
        return;
    }
    OleVariant conv = Value.VarType() == elem ? Value : Value.ChangeType(elem);
    VARIANT &c = conv.Var();
    if (elem == VT_BSTR || elem == VT_UNKNOWN || elem == VT_DISPATCH)
        OleCheck(vp::SafeArrayPutElement(psa, &idx, c.byref)); // the value itself
    else if (elem == VT_DECIMAL) {
        DECIMAL d = c.decVal;
        d.wReserved = 0;
        OleCheck(vp::SafeArrayPutElement(psa, &idx, &d));
    } else
        OleCheck(vp::SafeArrayPutElement(psa, &idx, &c.llVal));
}

} // namespace vexo
