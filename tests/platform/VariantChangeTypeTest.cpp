//===- VariantChangeTypeTest.cpp - conversion matrix samples -------------===//
#include <cfloat>
#include <cmath>
#include <cstring>

#include "PlatformTestSupport.h"

using namespace vexo::platform;
using namespace vexo::platform::test;

namespace {

VARIANT Make(VARTYPE vt, auto setter) {
    VARIANT v;
    VariantInit(&v);
    v.llVal = 0;
    setter(v);
    v.vt = vt;
    return v;
}
VARIANT I4(LONG x) {
    return Make(VT_I4, [&](VARIANT &v) { v.lVal = x; });
}
VARIANT R8(double x) {
    return Make(VT_R8, [&](VARIANT &v) { v.dblVal = x; });
}
VARIANT R4(float x) {
    return Make(VT_R4, [&](VARIANT &v) { v.fltVal = x; });
}
VARIANT I8(LONGLONG x) {
    return Make(VT_I8, [&](VARIANT &v) { v.llVal = x; });
}
VARIANT UI8(ULONGLONG x) {
    return Make(VT_UI8, [&](VARIANT &v) { v.ullVal = x; });
}
VARIANT Bool(bool b) {
    return Make(VT_BOOL, [&](VARIANT &v) { v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; });
}
VARIANT Cy(LONGLONG scaled) {
    return Make(VT_CY, [&](VARIANT &v) { v.cyVal.int64 = scaled; });
}
VARIANT Date(double d) {
    return Make(VT_DATE, [&](VARIANT &v) { v.date = d; });
}

/// Converts src to vt; returns the HRESULT, the result in out (cleared first).
HRESULT Change(const VARIANT &src, VARTYPE vt, VARIANT &out, USHORT flags = 0) {
    VariantInit(&out);
    return vp::VariantChangeType(&out, &src, flags, vt);
}

/// Text of src converted to VT_BSTR, or "<hr>" on failure.
std::string Text(VARIANT src, USHORT flags = 0) {
    VARIANT out;
    HRESULT hr = Change(src, VT_BSTR, out, flags);
    VariantClear(&src);
    if (FAILED(hr))
        return "<failed>";
    std::string s = BStrText(out.bstrVal);
    VariantClear(&out);
    return s;
}

/// HRESULT of converting the text to vt, result discarded.
HRESULT FromText(const std::string &text, VARTYPE vt, VARIANT *keep = nullptr) {
    VARIANT src = BStrVariant(text), out;
    HRESULT hr = Change(src, vt, out);
    VariantClear(&src);
    if (keep)
        *keep = out;
    else
        VariantClear(&out);
    return hr;
}

} // namespace

// Integers convert between widths, and values outside the target overflow.
TEST(VariantChangeType, IntegerRangesAndOverflow) {
    VARIANT out;
    EXPECT_EQ(Change(I4(127), VT_I1, out), S_OK);
    EXPECT_EQ(out.cVal, 127);
    EXPECT_EQ(Change(I4(128), VT_I1, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(I4(-1), VT_UI1, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(I4(255), VT_UI1, out), S_OK);
    EXPECT_EQ(out.bVal, 255);
    EXPECT_EQ(Change(I4(-32769), VT_I2, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(I4(65535), VT_UI2, out), S_OK);
    // Wine converts between signed and unsigned integers of one size unchecked.
    if (!RunningUnderWine()) {
        EXPECT_EQ(Change(I4(-5), VT_UI4, out), DISP_E_OVERFLOW);
    }
    EXPECT_EQ(Change(I8(2147483648LL), VT_I4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(I8(2147483648LL), VT_UINT, out), S_OK);
    EXPECT_EQ(out.vt, VT_UINT);
    EXPECT_EQ(out.uintVal, 2147483648u);
    if (!RunningUnderWine()) {
        EXPECT_EQ(Change(UI8(~0ULL), VT_I8, out), DISP_E_OVERFLOW);
        EXPECT_EQ(Change(I8(-1), VT_UI8, out), DISP_E_OVERFLOW);
    }
    EXPECT_EQ(Change(UI8(~0ULL), VT_R8, out), S_OK);
    EXPECT_DOUBLE_EQ(out.dblVal, 18446744073709551615.0);
    EXPECT_EQ(Change(I4(-7), VT_INT, out), S_OK);
    EXPECT_EQ(out.intVal, -7);
}

// Reals round half to even into integers and currency; NaN and huge values overflow.
TEST(VariantChangeType, RealsRoundHalfToEven) {
    VARIANT out;
    EXPECT_EQ(Change(R8(2.5), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, 2);
    EXPECT_EQ(Change(R8(3.5), VT_I2, out), S_OK);
    EXPECT_EQ(out.iVal, 4);
    EXPECT_EQ(Change(R8(-2.5), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, -2);
    EXPECT_EQ(Change(R8(255.4), VT_UI1, out), S_OK);
    EXPECT_EQ(out.bVal, 255);
    EXPECT_EQ(Change(R8(255.5), VT_UI1, out), DISP_E_OVERFLOW);
    if (!RunningUnderWine()) { // Wine converts NaN to a number
        EXPECT_EQ(Change(R8(std::nan("")), VT_I4, out), DISP_E_OVERFLOW);
    }
    EXPECT_EQ(Change(R8(1e300), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(R8(1e300), VT_R4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(R8(1.5), VT_R4, out), S_OK);
    EXPECT_EQ(out.fltVal, 1.5f);
    EXPECT_EQ(Change(R8(1.23456), VT_CY, out), S_OK);
    EXPECT_EQ(out.cyVal.int64, 12346);
    // Exact texts of 2.5 and 3.5 ten-thousandths; Wine rounds them half up
    // and down instead of to even.
    EXPECT_EQ(FromText("0.00025", VT_CY, &out), S_OK);
    if (!RunningUnderWine()) {
        EXPECT_EQ(out.cyVal.int64, 2);
    }
    EXPECT_EQ(FromText("0.00035", VT_CY, &out), S_OK);
    if (!RunningUnderWine()) {
        EXPECT_EQ(out.cyVal.int64, 4);
    }
    EXPECT_EQ(Change(R8(1e20), VT_CY, out), DISP_E_OVERFLOW);
}

// Booleans are -1/0 as numbers; any non-zero number is true.
TEST(VariantChangeType, BooleansAndNumbers) {
    VARIANT out;
    EXPECT_EQ(Change(Bool(true), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, -1);
    EXPECT_EQ(Change(Bool(true), VT_UI2, out), S_OK);
    EXPECT_EQ(out.uiVal, 0xFFFF);
    EXPECT_EQ(Change(Bool(true), VT_R8, out), S_OK);
    EXPECT_EQ(out.dblVal, -1.0);
    EXPECT_EQ(Change(R8(0.1), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    EXPECT_EQ(Change(I4(0), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    EXPECT_EQ(Change(Cy(1), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
}

// Numbers render in the "C" locale with 15 (R8) or 7 (R4) significant digits.
TEST(VariantChangeType, NumbersToText) {
    EXPECT_EQ(Text(I4(-42)), "-42");
    EXPECT_EQ(Text(UI8(18446744073709551615ULL)), "18446744073709551615");
    EXPECT_EQ(Text(R8(1.5)), "1.5");
    EXPECT_EQ(Text(R8(0.1)), "0.1");
    EXPECT_EQ(Text(R8(1.0 / 3.0)), "0.333333333333333");
    EXPECT_EQ(Text(R8(1e20)), "1E+20");
    EXPECT_EQ(Text(R8(-0.0)), "0");
    EXPECT_EQ(Text(R4(1.1f)), "1.1");
    EXPECT_EQ(Text(R4(1.0f / 3.0f)), "0.3333333");
    EXPECT_EQ(Text(Cy(12345)), "1.2345");
    EXPECT_EQ(Text(Cy(-15000)), "-1.5");
    EXPECT_EQ(Text(Cy(20000)), "2");
    EXPECT_EQ(Text(Bool(true)), "-1");
    EXPECT_EQ(Text(Bool(false)), "0");
    EXPECT_EQ(Text(Bool(true), VARIANT_ALPHABOOL), "True");
    EXPECT_EQ(Text(Bool(false), VARIANT_ALPHABOOL), "False");
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(Text(empty), "");
}

// Text parses strictly: blanks around are fine, anything else is a type mismatch.
TEST(VariantChangeType, TextToNumbers) {
    VARIANT out;
    EXPECT_EQ(FromText(" 42 ", VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, 42);
    EXPECT_EQ(FromText("-1.5", VT_I4, &out), S_OK);
    EXPECT_EQ(out.lVal, -2);
    EXPECT_EQ(FromText("1e3", VT_I2, &out), S_OK);
    EXPECT_EQ(out.iVal, 1000);
    EXPECT_EQ(FromText("18446744073709551615", VT_UI8, &out), S_OK);
    EXPECT_EQ(out.ullVal, 18446744073709551615ULL);
    EXPECT_EQ(FromText("18446744073709551616", VT_UI8), DISP_E_OVERFLOW);
    EXPECT_EQ(FromText("300", VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(FromText("1e999", VT_R8), DISP_E_OVERFLOW);
    EXPECT_EQ(FromText("0.25", VT_R4, &out), S_OK);
    EXPECT_EQ(out.fltVal, 0.25f);
    EXPECT_EQ(FromText("12.34567", VT_CY, &out), S_OK);
    EXPECT_EQ(out.cyVal.int64, 123457);
    for (const char *bad : {"", "abc", "12abc", "1.2.3", "--1", "1e", "0x10", ". ", "1 2"})
        EXPECT_EQ(FromText(bad, VT_I4), DISP_E_TYPEMISMATCH) << bad;
    EXPECT_EQ(FromText("abc", VT_R8), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(FromText("true", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    EXPECT_EQ(FromText("FALSE", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    EXPECT_EQ(FromText("-1", VT_BOOL, &out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    EXPECT_EQ(FromText("yes", VT_BOOL), DISP_E_TYPEMISMATCH);
}

// Numbers survive a round trip through text at full R8 precision.
TEST(VariantChangeType, TextRoundTripOfReals) {
    for (double d : {123456.789, -0.000123, 1e-300, 299792458.0, 6.02214076e23}) {
        VARIANT out;
        std::string t = Text(R8(d));
        ASSERT_EQ(FromText(t, VT_R8, &out), S_OK) << t;
        EXPECT_NEAR(out.dblVal, d, std::fabs(d) * 1e-14) << t;
    }
}

// Dates are days since 1899-12-30. The stand-in renders them as
// "YYYY-MM-DD hh:mm:ss"; the system in the user's locale. Either reads its
// own text back.
TEST(VariantChangeType, DatesToAndFromText) {
    VARIANT out;
    if (kStandIn) {
        EXPECT_EQ(Text(Date(45292.5)), "2024-01-01 12:00:00");
        EXPECT_EQ(Text(Date(2.0)), "1900-01-01");
        EXPECT_EQ(Text(Date(0.25)), "06:00:00");
        EXPECT_EQ(Text(Date(-1.25)), "1899-12-29 06:00:00");
        ASSERT_EQ(FromText("1899-12-29T06:00", VT_DATE, &out), S_OK);
        EXPECT_DOUBLE_EQ(out.date, -1.25);
    }
    for (double date : {45292.5, 2.0, 45292.25}) {
        ASSERT_EQ(FromText(Text(Date(date)), VT_DATE, &out), S_OK) << Text(Date(date));
        EXPECT_DOUBLE_EQ(out.date, date);
    }
    ASSERT_EQ(FromText("2024-01-01 12:00:00", VT_DATE, &out), S_OK);
    EXPECT_DOUBLE_EQ(out.date, 45292.5);
    EXPECT_EQ(FromText("2023-02-29", VT_DATE), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(FromText("2024-01-01 25:00", VT_DATE), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(FromText("yesterday", VT_DATE), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(R8(3e6), VT_DATE, out), DISP_E_OVERFLOW);
    EXPECT_EQ(Change(Date(45292.75), VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, 45293);
}

// DECIMAL converts exactly to and from integers, currency and text.
TEST(VariantChangeType, DecimalConversions) {
    VARIANT dec, out;
    ASSERT_EQ(FromText("-79228162514264337593543950335", VT_DECIMAL, &dec), S_OK);
    EXPECT_EQ(dec.vt, VT_DECIMAL);
    EXPECT_EQ(Text(dec), "-79228162514264337593543950335");
    EXPECT_EQ(FromText("79228162514264337593543950336", VT_DECIMAL), DISP_E_OVERFLOW);
    ASSERT_EQ(FromText("12.345", VT_DECIMAL, &dec), S_OK);
    EXPECT_EQ(dec.decVal.scale, 3);
    EXPECT_EQ(Change(dec, VT_CY, out), S_OK);
    EXPECT_EQ(out.cyVal.int64, 123450);
    EXPECT_EQ(Change(dec, VT_I4, out), S_OK);
    EXPECT_EQ(out.lVal, 12);
    EXPECT_EQ(Change(dec, VT_R8, out), S_OK);
    EXPECT_DOUBLE_EQ(out.dblVal, 12.345);
    EXPECT_EQ(Change(R8(0.1), VT_DECIMAL, dec), S_OK);
    EXPECT_EQ(Text(dec), "0.1");
    EXPECT_EQ(Change(I8(-5), VT_DECIMAL, dec), S_OK);
    EXPECT_EQ(Change(dec, VT_UI4, out), DISP_E_OVERFLOW);
}

// NULL, interfaces, errors and arrays refuse scalar targets; bad types are refused.
TEST(VariantChangeType, MismatchAndBadTypes) {
    VARIANT out, null;
    VariantInit(&null);
    null.vt = VT_NULL;
    EXPECT_EQ(Change(null, VT_I4, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(null, VT_BSTR, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(null, VT_NULL, out), S_OK);
    VARIANT err = Make(VT_ERROR, [](VARIANT &v) { v.scode = E_FAIL; });
    EXPECT_EQ(Change(err, VT_BSTR, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(err, VT_R8, out), DISP_E_TYPEMISMATCH);
    if (!RunningUnderWine()) { // Wine refuses VT_ERROR to and from integers
        EXPECT_EQ(Change(err, VT_UI4, out), S_OK);
        EXPECT_EQ(out.ulVal, 0x80004005u);
        EXPECT_EQ(Change(I4(5), VT_ERROR, out), S_OK);
        EXPECT_EQ(out.scode, 5);
    }
    EXPECT_EQ(Change(I4(5), VT_UNKNOWN, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(I4(5), VT_I4 | VT_BYREF, out), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Change(I4(5), VT_VOID, out), DISP_E_BADVARTYPE);
    EXPECT_EQ(Change(I4(5), 15, out), DISP_E_BADVARTYPE);
    EXPECT_EQ(Change(I4(5), VT_ARRAY | VT_I4, out), DISP_E_TYPEMISMATCH);
    VARIANT bad = Make(VT_LPSTR, [](VARIANT &) {});
    EXPECT_EQ(Change(bad, VT_I4, out), DISP_E_BADVARTYPE);
    if (kStandIn) { // the stand-in's argument checks; the system's differ
        EXPECT_EQ(vp::VariantChangeType(nullptr, &null, 0, VT_I4), E_POINTER);
        EXPECT_EQ(vp::VariantChangeType(&out, nullptr, 0, VT_I4), E_INVALIDARG);
    }
}

// A failed conversion leaves the destination untouched; in place conversion frees the old value.
TEST(VariantChangeType, DestinationOnlyChangedOnSuccess) {
    Counters c;
    VARIANT dst = BStrVariant("keep"), src = BStrVariant("xyz");
    EXPECT_EQ(vp::VariantChangeType(&dst, &src, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(BStrText(dst.bstrVal), "keep");
    VariantClear(&dst);
    VariantClear(&src);

    VARIANT v = BStrVariant("17");
    ASSERT_EQ(vp::VariantChangeType(&v, &v, 0, VT_UI2), S_OK);
    EXPECT_EQ(v.vt, VT_UI2);
    EXPECT_EQ(v.uiVal, 17);
    ASSERT_EQ(vp::VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(BStrText(v.bstrVal), "17");
    VariantClear(&v);
    c.ExpectUnchanged();
}

// A by-reference source is read through its pointer.
TEST(VariantChangeType, ByRefSource) {
    Counters c;
    double d = 2.75;
    VARIANT ref = Make(VT_R8 | VT_BYREF, [&](VARIANT &v) { v.byref = &d; });
    VARIANT out;
    ASSERT_EQ(Change(ref, VT_BSTR, out), S_OK);
    EXPECT_EQ(BStrText(out.bstrVal), "2.75");
    VariantClear(&out);
    c.ExpectUnchanged();
}

// Arrays copy only to their own type (bounds kept); a byte vector and a string exchange their
// bytes, odd lengths included; every other conversion involving an array is refused.
TEST(VariantChangeType, ArraysCopyOrExchangeBytesOnly) {
    Counters c;
    VARIANT arr;
    arr.vt = VT_ARRAY | VT_I4;
    arr.parray = SafeArrayCreateVector(VT_I4, 1, 3);
    for (LONG i = 1; i <= 3; ++i) {
        LONG v = i * 10;
        SafeArrayPutElement(arr.parray, &i, &v);
    }
    VARIANT out;
    ASSERT_EQ(Change(arr, VT_ARRAY | VT_I4, out), S_OK);
    EXPECT_NE(out.parray, arr.parray);
    LONG lb = 0, two = 2, value = 0;
    SafeArrayGetLBound(out.parray, 1, &lb);
    EXPECT_EQ(lb, 1);
    ASSERT_EQ(SafeArrayGetElement(out.parray, &two, &value), S_OK);
    EXPECT_EQ(value, 20);
    VariantClear(&out);
    for (VARTYPE to : {VARTYPE(VT_ARRAY | VT_BSTR), VARTYPE(VT_ARRAY | VT_VARIANT),
                       VARTYPE(VT_ARRAY | VT_R8), VARTYPE(VT_BSTR), VARTYPE(VT_I4)})
        EXPECT_EQ(Change(arr, to, out), DISP_E_TYPEMISMATCH) << to;
    EXPECT_EQ(Change(I4(5), VT_ARRAY | VT_I4, out), DISP_E_TYPEMISMATCH);
    VariantClear(&arr);

    VARIANT bytes;
    bytes.vt = VT_ARRAY | VT_UI1;
    bytes.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
    std::memcpy(bytes.parray->pvData, "abc", 3);
    ASSERT_EQ(Change(bytes, VT_BSTR, out), S_OK);
    EXPECT_EQ(SysStringByteLen(out.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(out.bstrVal, "abc", 3), 0);
    VARIANT back;
    ASSERT_EQ(Change(out, VT_ARRAY | VT_UI1, back), S_OK);
    ASSERT_EQ(back.vt, VT_ARRAY | VT_UI1);
    LONG ub = -1;
    SafeArrayGetLBound(back.parray, 1, &lb);
    SafeArrayGetUBound(back.parray, 1, &ub);
    EXPECT_EQ(lb, 0);
    EXPECT_EQ(ub, 2);
    EXPECT_EQ(std::memcmp(back.parray->pvData, "abc", 3), 0);
    VariantClear(&back);
    EXPECT_EQ(Change(out, VT_ARRAY | VT_I2, back), DISP_E_TYPEMISMATCH);
    VariantClear(&out);
    VariantClear(&bytes);
    c.ExpectUnchanged();
}

// Conversions between scalar types leave no BSTR or task memory behind.
TEST(VariantChangeType, MatrixLeavesNothingBehind) {
    Counters c;
    const VARTYPE types[] = {VT_EMPTY, VT_I1,  VT_I2,   VT_I4,   VT_I8,   VT_UI1,
                             VT_UI2,   VT_UI4, VT_UI8,  VT_INT,  VT_UINT, VT_R4,
                             VT_R8,    VT_CY,  VT_DATE, VT_BSTR, VT_BOOL, VT_DECIMAL};
    VARIANT seed = Make(VT_I4, [](VARIANT &v) { v.lVal = 12; });
    for (VARTYPE from : types) {
        VARIANT src;
        VariantInit(&src);
        ASSERT_EQ(vp::VariantChangeType(&src, &seed, 0, from), S_OK) << from;
        for (VARTYPE to : types) {
            if (from == VT_BSTR && to == VT_DATE)
                continue; // "12" is no date text
            VARIANT out;
            VariantInit(&out);
            HRESULT hr = vp::VariantChangeType(&out, &src, 0, to);
            EXPECT_EQ(hr, S_OK) << from << " -> " << to;
            VariantClear(&out);
        }
        VariantClear(&src);
    }
    VariantClear(&seed);
    c.ExpectUnchanged();
}
