//===- DateUtilsTest.cpp - TDateTime conversions --------------------------===//
#include <gtest/gtest.h>

#include <cmath>

#include <vexo/framework/DateUtils.h>
#include <vexo/framework/SysUtils.h>

using namespace vexo;

namespace {
int Pack(int Y, int Mo, int D, int H, int Mi, int S) {
    unsigned date = static_cast<unsigned>(((Y - 1980) << 9) | (Mo << 5) | D);
    unsigned time = static_cast<unsigned>((H << 11) | (Mi << 5) | (S / 2));
    return static_cast<int>((date << 16) | time);
}
} // namespace

// Known day numbers: the epoch, a leap day, and the turn of the century.
TEST(DateUtils, EncodeDecodeDate) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 2, 29), 36585.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(2001, 13, 1), EConvertError);
    int y, m, d;
    DecodeDate(36585.75, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000229);
    DecodeDate(-1.25, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 18991229);
    int h, mi, s, ms;
    DecodeTime(-1.25, h, mi, s, ms);
    EXPECT_EQ(h, 6);
    DecodeTime(EncodeTime(13, 45, 30, 250), h, mi, s, ms);
    EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 134530250);
}

// MS-DOS packed values convert to day number plus time, seconds in steps of two.
TEST(DateUtils, FileDateToDateTimeSamples) {
    EXPECT_DOUBLE_EQ(FileDateToDateTime(Pack(1980, 1, 1, 0, 0, 0)), EncodeDate(1980, 1, 1));
    EXPECT_DOUBLE_EQ(FileDateToDateTime(Pack(2024, 2, 29, 12, 30, 58)),
                     EncodeDate(2024, 2, 29) + 12 / 24.0 + 30 / 1440.0 + 58 / 86400.0);
    EXPECT_DOUBLE_EQ(FileDateToDateTime(Pack(2107, 12, 31, 23, 59, 58)),
                     EncodeDate(2107, 12, 31) + 23 / 24.0 + 59 / 1440.0 + 58 / 86400.0);
    // Odd seconds cannot be represented: 59 s packs as 58 s.
    EXPECT_DOUBLE_EQ(FileDateToDateTime(Pack(2000, 6, 15, 8, 0, 59)),
                     FileDateToDateTime(Pack(2000, 6, 15, 8, 0, 58)));
    EXPECT_THROW(FileDateToDateTime(0), EConvertError); // month 0, day 0
    EXPECT_THROW(FileDateToDateTime(Pack(2001, 2, 29, 0, 0, 0)), EConvertError);
    EXPECT_THROW(FileDateToDateTime(Pack(2001, 2, 1, 24, 0, 0)), EConvertError);
    EXPECT_THROW(FileDateToDateTime(Pack(2001, 2, 1, 0, 60, 0)), EConvertError);
}

// Text form: date alone at midnight, date and time otherwise, rounding kept in the day.
TEST(DateUtils, DateTimeToStr) {
    EXPECT_EQ(DateTimeToStr(EncodeDate(2021, 3, 4)), "2021-03-04");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2021, 3, 4) + EncodeTime(5, 6, 7, 0)),
              "2021-03-04 05:06:07");
    EXPECT_EQ(DateTimeToStr(EncodeDate(2021, 3, 4) + 0.9999999999), "2021-03-05");
    EXPECT_EQ(DateTimeToStr(0), "1899-12-30");
}

// Now is a plausible local time (after 2020, before 2200).
TEST(DateUtils, NowIsPlausible) {
    const TDateTime n = Now();
    EXPECT_GT(n, EncodeDate(2020, 1, 1));
    EXPECT_LT(n, EncodeDate(2200, 1, 1));
}
