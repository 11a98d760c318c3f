//===- SafeArrayTest.cpp - SAFEARRAY conformance -------------------------===//
#include "PlatformTestSupport.h"

using namespace vexo::platform;
using namespace vexo::platform::test;

// A two-dimensional array keeps its bounds per dimension and reads back by two indices.
TEST(SafeArray, TwoDimensionsCreatableAndReadable) {
    Counters c;
    SAFEARRAYBOUND b[2] = {{3, 1}, {4, -2}}; // dim 1: 1..3, dim 2: -2..1
    SAFEARRAY *psa = SafeArrayCreate(VT_I4, 2, b);
    ASSERT_NE(psa, nullptr);
    EXPECT_EQ(SafeArrayGetDim(psa), 2u);
    EXPECT_EQ(SafeArrayGetElemsize(psa), 4u);
    LONG lo, hi;
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 1, &hi), S_OK);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 3);
    EXPECT_EQ(SafeArrayGetLBound(psa, 2, &lo), S_OK);
    EXPECT_EQ(SafeArrayGetUBound(psa, 2, &hi), S_OK);
    EXPECT_EQ(lo, -2);
    EXPECT_EQ(hi, 1);
    EXPECT_EQ(SafeArrayGetLBound(psa, 3, &lo), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(psa, 0, &lo), DISP_E_BADINDEX);

    for (LONG i = 1; i <= 3; ++i)
        for (LONG j = -2; j <= 1; ++j) {
            LONG idx[2] = {i, j};
            LONG value = i * 100 + j;
            ASSERT_EQ(SafeArrayPutElement(psa, idx, &value), S_OK);
        }
    for (LONG i = 1; i <= 3; ++i)
        for (LONG j = -2; j <= 1; ++j) {
            LONG idx[2] = {i, j}, value = 0;
            ASSERT_EQ(SafeArrayGetElement(psa, idx, &value), S_OK);
            EXPECT_EQ(value, i * 100 + j);
        }
    // The first dimension varies fastest in memory.
    LONG *data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, reinterpret_cast<void **>(&data)), S_OK);
    EXPECT_EQ(data[0], 100 - 2);
    EXPECT_EQ(data[1], 200 - 2);
    EXPECT_EQ(data[3], 100 - 1);
    ASSERT_EQ(SafeArrayUnaccessData(psa), S_OK);

    LONG outside[2] = {4, 0}, value = 0;
    EXPECT_EQ(SafeArrayGetElement(psa, outside, &value), DISP_E_BADINDEX);
    LONG below[2] = {1, -3};
    EXPECT_EQ(SafeArrayPutElement(psa, below, &value), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    c.ExpectUnchanged();
}

// The element type is remembered and reported for every array created here.
TEST(SafeArray, RemembersVartype) {
    Counters c;
    for (VARTYPE vt : {VT_I1, VT_UI2, VT_R8, VT_BSTR, VT_VARIANT, VT_DECIMAL, VT_BOOL, VT_CY}) {
        SAFEARRAY *psa = SafeArrayCreateVector(vt, 0, 2);
        ASSERT_NE(psa, nullptr) << vt;
        VARTYPE got = VT_EMPTY;
        EXPECT_EQ(SafeArrayGetVartype(psa, &got), S_OK);
        EXPECT_EQ(got, vt);
        SafeArrayDestroy(psa);
    }
    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 1), nullptr);
    SAFEARRAYBOUND b{1, 0};
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &b), nullptr);
    VARTYPE vt;
    EXPECT_EQ(SafeArrayGetVartype(nullptr, &vt), E_INVALIDARG);
    c.ExpectUnchanged();
}

// BSTR and VARIANT elements are copied in and out, and freed by destroy.
TEST(SafeArray, OwnsStringAndVariantElements) {
    Counters c;
    SAFEARRAY *psa = SafeArrayCreateVector(VT_BSTR, 5, 2);
    BSTR mine = SysAllocString(OLESTR("value"));
    LONG i = 5;
    ASSERT_EQ(SafeArrayPutElement(psa, &i, mine), S_OK);
    ASSERT_EQ(SafeArrayPutElement(psa, &i, mine), S_OK); // replacing frees the old copy
    SysFreeString(mine);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
    EXPECT_EQ(BStrText(out), "value");
    SysFreeString(out);
    i = 6;
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);

    psa = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT v = BStrVariant("in a variant");
    i = 0;
    ASSERT_EQ(SafeArrayPutElement(psa, &i, &v), S_OK);
    VariantClear(&v);
    VARIANT got;
    ASSERT_EQ(SafeArrayGetElement(psa, &i, &got), S_OK);
    EXPECT_EQ(got.vt, VT_BSTR);
    EXPECT_EQ(BStrText(got.bstrVal), "in a variant");
    VariantClear(&got);
    SAFEARRAY *copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(psa, &copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    ASSERT_EQ(SafeArrayGetElement(copy, &i, &got), S_OK);
    EXPECT_EQ(BStrText(got.bstrVal), "in a variant");
    VariantClear(&got);
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);
    c.ExpectUnchanged();
}

// Locks nest; destroy is refused while locked; unlocking an unlocked array fails.
TEST(SafeArray, LockCountsAndDestroyWhileLocked) {
    Counters c;
    SAFEARRAY *psa = SafeArrayCreateVector(VT_R8, 0, 4);
    void *data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(psa, &data), S_OK);
    EXPECT_EQ(data, psa->pvData);
    ASSERT_EQ(SafeArrayLock(psa), S_OK);
    EXPECT_EQ(psa->cLocks, 2u);
    EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(psa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
    EXPECT_EQ(SafeArrayUnlock(psa), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    c.ExpectUnchanged();
}

// Null arguments, out-pointers and arrays alike, give E_INVALIDARG.
TEST(SafeArray, NullArguments) {
    Counters c;
    SAFEARRAY *psa = SafeArrayCreateVector(VT_I2, 0, 1);
    LONG i = 0;
    EXPECT_EQ(SafeArrayGetElement(psa, &i, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(nullptr, &i, &i), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(psa, nullptr, &i), E_INVALIDARG);
    EXPECT_EQ(SafeArrayAccessData(psa, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetLBound(psa, 1, nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayCopy(psa, nullptr), E_INVALIDARG);
    SAFEARRAY *out = psa;
    EXPECT_EQ(SafeArrayCopy(nullptr, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    void *data = &i;
    EXPECT_EQ(SafeArrayAccessData(nullptr, &data), E_INVALIDARG);
    if (kStandIn) { // the stand-in clears the out-pointer; the system leaves it
        EXPECT_EQ(data, nullptr);
    }
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    SafeArrayDestroy(psa);
    c.ExpectUnchanged();
}
