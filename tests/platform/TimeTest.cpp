//===- TimeTest.cpp - file times, local offset and DOS dates -------------===//
#include <chrono>

#include "PlatformTestSupport.h"

using namespace vexo::platform;

namespace {

FILETIME Ft(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    SYSTEMTIME st{y, mo, 0, d, h, mi, s, ms};
    FILETIME ft{};
    EXPECT_EQ(SystemTimeToFileTime(&st, &ft), TRUE);
    return ft;
}

std::uint64_t Ticks(const FILETIME &ft) {
    return (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

struct OffsetOverride {
    explicit OffsetOverride(int minutes) { SetUtcOffsetOverrideForTesting(minutes); }
    ~OffsetOverride() { SetUtcOffsetOverrideForTesting(std::nullopt); }
};

} // namespace

// The packed form holds years 1980 to 2107 only.
TEST(Time, DosDateLimits) {
    WORD date, time;
    FILETIME ft = Ft(1979, 12, 31, 23, 59, 59);
    EXPECT_EQ(vp::FileTimeToDosDateTime(&ft, &date, &time), FALSE);
    ft = Ft(1980, 1, 1);
    ASSERT_EQ(vp::FileTimeToDosDateTime(&ft, &date, &time), TRUE);
    EXPECT_EQ(date, (1 << 5) | 1);
    EXPECT_EQ(time, 0);
    ft = Ft(2107, 12, 31, 23, 59, 58);
    ASSERT_EQ(vp::FileTimeToDosDateTime(&ft, &date, &time), TRUE);
    EXPECT_EQ(date, (127 << 9) | (12 << 5) | 31);
    EXPECT_EQ(time, (23 << 11) | (59 << 5) | 29);
    ft = Ft(2108, 1, 1);
    EXPECT_EQ(vp::FileTimeToDosDateTime(&ft, &date, &time), FALSE);
    EXPECT_EQ(vp::FileTimeToDosDateTime(nullptr, &date, &time), FALSE);
}

// Odd seconds fall to the even second below and milliseconds are dropped.
TEST(Time, OddSecondsTruncated) {
    WORD d1, t1, d2, t2;
    FILETIME a = Ft(2024, 6, 15, 12, 0, 0, 0), b = Ft(2024, 6, 15, 12, 0, 1, 900);
    ASSERT_EQ(vp::FileTimeToDosDateTime(&a, &d1, &t1), TRUE);
    ASSERT_EQ(vp::FileTimeToDosDateTime(&b, &d2, &t2), TRUE);
    EXPECT_EQ(d1, d2);
    EXPECT_EQ(t1, t2);
    FILETIME c = Ft(2024, 6, 15, 12, 0, 2);
    ASSERT_EQ(vp::FileTimeToDosDateTime(&c, &d2, &t2), TRUE);
    EXPECT_EQ(t2, t1 + 1);
}

// System time and file time convert both ways; the day of the week is filled in.
TEST(Time, SystemTimeRoundTrip) {
    FILETIME ft = Ft(2000, 2, 29, 13, 14, 15, 16);
    SYSTEMTIME st{};
    ASSERT_EQ(FileTimeToSystemTime(&ft, &st), TRUE);
    EXPECT_EQ(st.wYear, 2000);
    EXPECT_EQ(st.wMonth, 2);
    EXPECT_EQ(st.wDay, 29);
    EXPECT_EQ(st.wDayOfWeek, 2); // a Tuesday
    EXPECT_EQ(st.wHour, 13);
    EXPECT_EQ(st.wMinute, 14);
    EXPECT_EQ(st.wSecond, 15);
    EXPECT_EQ(st.wMilliseconds, 16);
    EXPECT_EQ(Ticks(Ft(1601, 1, 1)), 0u);
    EXPECT_EQ(Ticks(Ft(1970, 1, 1)), 116444736000000000ULL);
    SYSTEMTIME bad{2001, 2, 0, 29, 0, 0, 0, 0};
    FILETIME out;
    if (!vexo::platform::test::RunningUnderWine()) { // Wine takes 29 February of a common year
        EXPECT_EQ(SystemTimeToFileTime(&bad, &out), FALSE);
    }
    FILETIME huge{0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ(FileTimeToSystemTime(&huge, &st), FALSE);
}

// The system time is now, in 100-ns units since 1601.
TEST(Time, SystemTimeIsNow) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    auto unixNow = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
    long long seconds = static_cast<long long>(Ticks(ft) / 10'000'000ULL) - 11644473600LL;
    EXPECT_LE(std::llabs(seconds - unixNow), 2);
}

// An overridden offset is applied at once, and removing it returns to the system's.
TEST(Time, LocalOffsetOverrideFollowed) {
    int system = CurrentUtcOffsetMinutes();
    FILETIME utc = Ft(2024, 1, 1, 12), local;
    {
        OffsetOverride plus(120);
        EXPECT_EQ(CurrentUtcOffsetMinutes(), 120);
        ASSERT_EQ(vp::FileTimeToLocalFileTime(&utc, &local), TRUE);
        EXPECT_EQ(Ticks(local) - Ticks(utc), 120ULL * 60 * 10'000'000);
        SetUtcOffsetOverrideForTesting(-300);
        ASSERT_EQ(vp::FileTimeToLocalFileTime(&utc, &local), TRUE);
        EXPECT_EQ(Ticks(utc) - Ticks(local), 300ULL * 60 * 10'000'000);
        FILETIME early{1, 0};
        EXPECT_EQ(vp::FileTimeToLocalFileTime(&early, &local), FALSE) << "before 1601 after shift";
    }
    EXPECT_EQ(CurrentUtcOffsetMinutes(), system);
    EXPECT_EQ(vp::FileTimeToLocalFileTime(nullptr, &local), FALSE);
}

// The whole UTC -> local -> DOS conversion stays cheap (no time-zone lookup per call).
TEST(Time, ConversionIsCheap) {
    FILETIME utc = Ft(2024, 6, 15, 12), local;
    WORD d, t;
    constexpr int kRounds = 200'000;
    auto start = std::chrono::steady_clock::now();
    unsigned sink = 0;
    for (int i = 0; i < kRounds; ++i) {
        utc.dwLowDateTime += 10'000'000;
        vp::FileTimeToLocalFileTime(&utc, &local);
        vp::FileTimeToDosDateTime(&local, &d, &t);
        sink += t;
    }
    auto ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
        kRounds;
    EXPECT_NE(sink, 1u);
    // Generous bound for a loaded, sanitised build; the benchmark holds the real target.
    EXPECT_LT(ns, 2000.0);
}
