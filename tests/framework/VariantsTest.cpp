//===- VariantsTest.cpp - OleVariant copies, text and arrays -------------===//
#include <gtest/gtest.h>

#include <vexo/framework/DateUtils.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/framework/Variants.h>

using namespace vexo;
namespace vp = vexo::platform;

namespace {

/// Checks that BSTRs and SAFEARRAYs return to their start counts.
class VariantLeakCheck : public ::testing::Test {
  protected:
    void SetUp() override {
        FBStrs = vp::BStrLiveCount();
        FArrays = vp::SafeArrayLiveCount();
    }
    void TearDown() override {
        EXPECT_EQ(vp::BStrLiveCount(), FBStrs);
        EXPECT_EQ(vp::SafeArrayLiveCount(), FArrays);
    }
    long long FBStrs = 0, FArrays = 0;
};

OleVariant IntArray(std::initializer_list<int> Values, int Low = 0) {
    OleVariant a = VarArrayCreate(Low, Low + static_cast<int>(Values.size()) - 1, VT_I4);
    int i = Low;
    for (int v : Values)
        VarArrayPut(a, i++, OleVariant(v));
    return a;
}

} // namespace

// Copies are independent: changing or clearing one leaves the other intact.
TEST_F(VariantLeakCheck, CopiesAreIndependent) {
    OleVariant s("hello");
    OleVariant t = s;
    s = OleVariant(5);
    EXPECT_EQ(VarToStr(t), "hello");
    EXPECT_EQ(s.AsInteger(), 5);
    OleVariant a = IntArray({1, 2, 3});
    OleVariant b = a;
    VarArrayPut(a, 0, OleVariant(9));
    EXPECT_EQ(VarArrayGet(b, 0).AsInteger(), 1);
    OleVariant m = std::move(t);
    EXPECT_TRUE(VarIsEmpty(t)); // NOLINT(bugprone-use-after-move): moved-from is empty
    EXPECT_EQ(VarToStr(m), "hello");
    m = m; // self-assignment keeps the value
    EXPECT_EQ(VarToStr(m), "hello");
    VARIANT raw = m.Detach();
    OleVariant back = OleVariant::Attach(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_EQ(VarToStr(back), "hello");
}

// VarToStr renders each scalar type in the framework's form.
TEST_F(VariantLeakCheck, VarToStrForms) {
    EXPECT_EQ(VarToStr(OleVariant()), "");
    EXPECT_EQ(VarToStr(OleVariant::Null()), "");
    EXPECT_EQ(VarToStr(OleVariant(true)), "True");
    EXPECT_EQ(VarToStr(OleVariant(false)), "False");
    EXPECT_EQ(VarToStr(OleVariant(-12)), "-12");
    EXPECT_EQ(VarToStr(OleVariant(9000000000LL)), "9000000000");
    EXPECT_EQ(VarToStr(OleVariant(4000000000u)), "4000000000");
    EXPECT_EQ(VarToStr(OleVariant(2.5)), "2.5");
    EXPECT_EQ(VarToStr(OleVariant(0.1f)), "0.1");
    EXPECT_EQ(VarToStr(OleVariant(OLESTR("wide \u00e9"))), "wide \xc3\xa9");
    OleVariant cy;
    cy.Var().vt = VT_CY;
    cy.Var().cyVal.int64 = -123450; // -12.345
    EXPECT_EQ(VarToStr(cy), "-12.345");
    cy.Var().cyVal.int64 = 70000;
    EXPECT_EQ(VarToStr(cy), "7");
    OleVariant dt;
    dt.Var().vt = VT_DATE;
    dt.Var().date = EncodeDate(2020, 5, 6) + EncodeTime(7, 8, 9, 0);
    EXPECT_EQ(VarToStr(dt), "2020-05-06 07:08:09");
    EXPECT_THROW(VarToStr(IntArray({1})), EVariantError);
}

// Conversions through ChangeType; a refused one raises EVariantError.
TEST_F(VariantLeakCheck, ChangeType) {
    EXPECT_EQ(OleVariant("42").AsInteger(), 42);
    EXPECT_DOUBLE_EQ(OleVariant(3).AsDouble(), 3.0);
    EXPECT_TRUE(OleVariant(1).AsBoolean());
    EXPECT_THROW(OleVariant("abc").AsInteger(), EVariantError);
    EXPECT_THROW(IntArray({1}).AsInteger(), EVariantError);
}

// Array helpers: bounds, element access, and errors for non-arrays and bad indexes.
TEST_F(VariantLeakCheck, ArrayHelpers) {
    OleVariant a = IntArray({10, 20, 30}, 1);
    EXPECT_TRUE(VarIsArray(a));
    EXPECT_EQ(VarArrayDimCount(a), 1);
    EXPECT_EQ(VarArrayLowBound(a, 1), 1);
    EXPECT_EQ(VarArrayHighBound(a, 1), 3);
    EXPECT_EQ(VarArrayGet(a, 3).AsInteger(), 30);
    EXPECT_THROW(VarArrayGet(a, 0), EVariantError);
    EXPECT_THROW(VarArrayGet(a, 4), EVariantError);
    EXPECT_THROW(VarArrayHighBound(a, 2), EVariantError);
    EXPECT_THROW(VarArrayHighBound(OleVariant(1), 1), EVariantError);
    EXPECT_THROW(VarArrayGet(OleVariant("x"), 0), EVariantError);
    EXPECT_FALSE(VarIsArray(OleVariant(1)));
    EXPECT_EQ(VarArrayDimCount(OleVariant(1)), 0);

    OleVariant empty = VarArrayCreate(0, -1, VT_I4);
    EXPECT_EQ(VarArrayHighBound(empty, 1), -1);
    EXPECT_THROW(VarArrayCreate(0, -2, VT_I4), EVariantError);

    OleVariant strs = VarArrayCreate(0, 1, VT_BSTR);
    VarArrayPut(strs, 0, OleVariant("a"));
    VarArrayPut(strs, 1, OleVariant(7));
    EXPECT_EQ(VarToStr(VarArrayGet(strs, 1)), "7");
    OleVariant vars = VarArrayCreate(0, 1, VT_VARIANT);
    VarArrayPut(vars, 0, OleVariant("in a variant"));
    EXPECT_EQ(VarToStr(VarArrayGet(vars, 0)), "in a variant");
    EXPECT_TRUE(VarIsEmpty(VarArrayGet(vars, 1)));

    // An array holding other elements than its variant names is refused, not
    // read with the wrong element size.
    VARIANT lying;
    vp::VariantInit(&lying);
    lying.vt = VT_ARRAY | VT_I4;
    lying.parray = vp::SafeArrayCreateVector(VT_VARIANT, 0, 2);
    OleVariant mismatched = OleVariant::Attach(lying);
    EXPECT_THROW(VarArrayGet(mismatched, 0), EVariantError);

    // A value by reference is copied as the value: the copy owns it.
    int n = 5;
    VARIANT ref;
    vp::VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.byref = &n;
    OleVariant owned(ref);
    n = 6;
    EXPECT_EQ(owned.VarType(), VT_I4);
    EXPECT_EQ(owned.AsInteger(), 5);

    // Two dimensions: element access by one index is refused.
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    VARIANT raw;
    vp::VariantInit(&raw);
    raw.vt = VT_ARRAY | VT_I4;
    raw.parray = vp::SafeArrayCreate(VT_I4, 2, bounds);
    OleVariant two = OleVariant::Attach(raw);
    EXPECT_EQ(VarArrayDimCount(two), 2);
    EXPECT_THROW(VarArrayGet(two, 0), EVariantError);
}
