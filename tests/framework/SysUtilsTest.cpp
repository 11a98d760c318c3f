//===- SysUtilsTest.cpp - Format, conversions and string helpers ---------===//
#include <gtest/gtest.h>

#include <vexo/framework/SysUtils.h>

using namespace vexo;

namespace {

template <class E, class F> std::string MessageOf(F &&f) {
    try {
        f();
    } catch (const E &e) {
        return e.Message();
    }
    return "<no exception>";
}

} // namespace

// Integer, string and float specifiers render as the framework does.
TEST(Format, BasicSpecifiers) {
    EXPECT_EQ(Format("%d items", {-42}), "-42 items");
    EXPECT_EQ(Format("[%s]", {""}), "[]");
    EXPECT_EQ(Format("%s=%d", {std::string("a"), 5}), "a=5");
    EXPECT_EQ(Format("%.2f", {3.14159}), "3.14");
    EXPECT_EQ(Format("%.2f", {-0.005}), "-0.01");
    EXPECT_EQ(Format("%f", {1.0}), "1.00");
    EXPECT_EQ(Format("%u", {4000000000u}), "4000000000");
    EXPECT_EQ(Format("%x/%X", {255, 255}), "ff/FF");
    EXPECT_EQ(Format("%.8X", {0x8004ABCDu}), "8004ABCD");
    EXPECT_EQ(Format("%X", {-1}), "FFFFFFFF");
    EXPECT_EQ(Format("%c%c", {'o', 107}), "ok");
    EXPECT_EQ(Format("100%%", {}), "100%");
    EXPECT_EQ(Format("%n", {1234567.891}), "1,234,567.89");
    EXPECT_EQ(Format("%e", {1234.5}), "1.23450000000000E+003");
    EXPECT_EQ(Format("%g", {0.5}), "0.5");
}

// Width, "-" flag, "*" and precision on integers and strings.
TEST(Format, WidthPrecisionAndIndex) {
    EXPECT_EQ(Format("%5d|", {42}), "   42|");
    EXPECT_EQ(Format("%-5d|", {42}), "42   |");
    EXPECT_EQ(Format("%*d|", {4, 7}), "   7|");
    EXPECT_EQ(Format("%.3d", {-7}), "-007");
    EXPECT_EQ(Format("%.2s", {"abc"}), "ab");
    EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b"}), "b a b");
    const int x = 0;
    EXPECT_EQ(Format("%p", {static_cast<const void *>(&x)}).size(), sizeof(void *) * 2);
}

// A specifier that does not fit its argument, a missing argument or a bad
// type character raises EConvertError naming the format.
TEST(Format, MismatchesRaiseNamingTheFormat) {
    EXPECT_EQ(MessageOf<EConvertError>([] { Format("%d", {1.5}); }),
              "Format '%d' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf<EConvertError>([] { Format("%s", {3}); }),
              "Format '%s' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf<EConvertError>([] { Format("%q", {3}); }),
              "Format '%q' invalid or incompatible with argument");
    EXPECT_EQ(MessageOf<EConvertError>([] { Format("a %s %s", {"x"}); }),
              "No argument for format 'a %s %s'");
    EXPECT_THROW(Format("trailing %", {}), EConvertError);
    EXPECT_THROW(Format("%5:s", {"x"}), EConvertError);
}

// Conversion errors name the offending text; valid forms convert.
TEST(Conversions, StrToIntAndStrToFloat) {
    EXPECT_EQ(StrToInt("123"), 123);
    EXPECT_EQ(StrToInt(" -17 "), -17);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_EQ(StrToInt("0x10"), 16);
    EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt64("9000000000"), 9000000000LL);
    EXPECT_EQ(StrToIntDef("x", 9), 9);
    EXPECT_EQ(MessageOf<EConvertError>([] { StrToInt("12a"); }),
              "'12a' is not a valid integer value");
    EXPECT_EQ(MessageOf<EConvertError>([] { StrToInt(""); }), "'' is not a valid integer value");
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_THROW(StrToInt("-"), EConvertError);

    EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(StrToFloat("-2.5e3"), -2500.0);
    EXPECT_DOUBLE_EQ(StrToFloat(".5"), 0.5);
    EXPECT_EQ(MessageOf<EConvertError>([] { StrToFloat("1,5"); }),
              "'1,5' is not a valid floating point value");
    EXPECT_THROW(StrToFloat("inf"), EConvertError);
    EXPECT_THROW(StrToFloat("nan"), EConvertError);
    EXPECT_THROW(StrToFloat("+-1"), EConvertError);
}

// FloatToStr gives the shortest text that reads back, at most 15 digits.
TEST(Conversions, FloatToStrShortestRoundTrip) {
    EXPECT_EQ(FloatToStr(0), "0");
    EXPECT_EQ(FloatToStr(1.5), "1.5");
    EXPECT_EQ(FloatToStr(-100), "-100");
    EXPECT_EQ(FloatToStr(0.1), "0.1");
    EXPECT_EQ(FloatToStr(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToStr(1e20), "1E20");
    EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
    EXPECT_EQ(FloatToStr(0.0001), "0.0001");
    for (double v : {3.25, -7.125, 1234.5678, 2.5e-3})
        EXPECT_DOUBLE_EQ(StrToFloat(FloatToStr(v)), v);
}

// String helpers: trimming of control characters, ASCII case, replacement.
TEST(Strings, Helpers) {
    EXPECT_EQ(Trim("\t a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(LowerCase("TVexoServer"), "tvexoserver");
    EXPECT_EQ(UpperCase("abc1"), "ABC1");
    EXPECT_TRUE(SameText("OPCGroups", "opcgroups"));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_EQ(StringReplaceAll("a.b.c", ".", "::"), "a::b::c");
    EXPECT_EQ(IntToStr(-5), "-5");
    EXPECT_EQ(IntToHex(0xABC, 6), "000ABC");
}

// OleCheck turns a failure code into EOleSysError carrying the code.
TEST(OleErrors, OleCheckRaisesWithCode) {
    EXPECT_NO_THROW(OleCheck(S_OK));
    EXPECT_NO_THROW(OleCheck(S_FALSE));
    try {
        OleCheck(E_NOINTERFACE);
        FAIL();
    } catch (const EOleSysError &e) {
        EXPECT_EQ(e.ErrorCode(), E_NOINTERFACE);
        EXPECT_FALSE(e.Message().empty());
    }
}
