//===- Time.cpp - file times, local offset and MS-DOS packed dates -------===//
//
// This file implements the kernel time services. The UTC offset comes from
// the C library's time-zone data, but only once a second at most: the value
// is cached in atomics and refreshed when a coarse monotonic clock says the
// second is over, so a conversion on the data path costs a few nanoseconds
// and no lock, while a change of the system's offset (daylight saving, a new
// zone) is still followed within a second.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Time.h>

#include <atomic>
#include <climits>
#include <ctime>
#include <mutex>

#include "VariantText.h"

namespace vexo::platform {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kSecondsFrom1601To1970 = 11'644'473'600ULL;
constexpr long long kDaysFrom1601To1970 = 134'774;
constexpr std::uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFULL;
constexpr long long kRefreshNs = 1'000'000'000;
constexpr int kNoOverride = INT_MIN;

std::atomic<int> gOverride{kNoOverride};
std::atomic<int> gCachedOffset{0};
std::atomic<long long> gNextRefreshNs{LLONG_MIN}; // forces the first refresh

long long CoarseMonotonicNs() {
#ifdef _WIN32
    return static_cast<long long>(GetTickCount64()) * 1'000'000LL;
#else
    timespec ts;
#ifdef CLOCK_MONOTONIC_COARSE
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
#else
    clock_gettime(CLOCK_MONOTONIC, &ts);
#endif
    return static_cast<long long>(ts.tv_sec) * 1'000'000'000LL + ts.tv_nsec;
#endif
}

/// The offset the system's time-zone data gives for now (the slow path).
int SystemOffsetMinutes() {
#ifdef _WIN32
    TIME_ZONE_INFORMATION zone{};
    const DWORD which = GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT)
        bias += zone.DaylightBias;
    else if (which == TIME_ZONE_ID_STANDARD)
        bias += zone.StandardBias;
    return static_cast<int>(-bias);
#else
    // One refresh at a time: the C library's zone state is shared, and its
    // own lock is invisible to the thread checkers.
    static std::mutex Lock;
    std::lock_guard<std::mutex> Guard(Lock);
    tzset(); // re-read the zone so a change is noticed
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return 0;
    return static_cast<int>(local.tm_gmtoff / 60);
#endif
}

std::uint64_t Ticks(const FILETIME &ft) {
    return (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void SetTicks(FILETIME &ft, std::uint64_t t) {
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
}

#ifndef _WIN32
struct Civil {
    long long year;
    unsigned month, day, hour, minute, second, millis, dayOfWeek;
};

Civil CivilOf(std::uint64_t ticks) {
    std::uint64_t secs = ticks / kTicksPerSecond;
    long long days = static_cast<long long>(secs / 86400);
    unsigned rem = static_cast<unsigned>(secs % 86400);
    Civil c;
    detail::CivilFromDays(days - kDaysFrom1601To1970, c.year, c.month, c.day);
    c.hour = rem / 3600;
    c.minute = rem / 60 % 60;
    c.second = rem % 60;
    c.millis = static_cast<unsigned>(ticks / 10'000 % 1000);
    c.dayOfWeek = static_cast<unsigned>((days + 1) % 7); // 1601-01-01 was a Monday
    return c;
}
#endif

} // namespace

#ifndef _WIN32
void GetSystemTimeAsFileTime(FILETIME *lpSystemTimeAsFileTime) {
    if (!lpSystemTimeAsFileTime)
        return;
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::uint64_t t =
        (static_cast<std::uint64_t>(ts.tv_sec) + kSecondsFrom1601To1970) * kTicksPerSecond +
        static_cast<std::uint64_t>(ts.tv_nsec) / 100;
    SetTicks(*lpSystemTimeAsFileTime, t);
}
#endif

int CurrentUtcOffsetMinutes() {
    int forced = gOverride.load(std::memory_order_relaxed);
    if (forced != kNoOverride)
        return forced;
    long long now = CoarseMonotonicNs();
    if (now < gNextRefreshNs.load(std::memory_order_acquire))
        return gCachedOffset.load(std::memory_order_relaxed);
    // Several threads may refresh at the same moment; they store the same value.
    int offset = SystemOffsetMinutes();
    gCachedOffset.store(offset, std::memory_order_relaxed);
    gNextRefreshNs.store(now + kRefreshNs, std::memory_order_release);
    return offset;
}

void SetUtcOffsetOverrideForTesting(std::optional<int> minutes) {
    gOverride.store(minutes ? *minutes : kNoOverride, std::memory_order_relaxed);
    if (!minutes)
        gNextRefreshNs.store(LLONG_MIN, std::memory_order_release);
}

BOOL FileTimeToLocalFileTime(const FILETIME *lpFileTime, FILETIME *lpLocalFileTime) {
    if (!lpFileTime || !lpLocalFileTime)
        return FALSE;
    std::uint64_t t = Ticks(*lpFileTime);
    long long delta = static_cast<long long>(CurrentUtcOffsetMinutes()) * 60 *
                      static_cast<long long>(kTicksPerSecond);
    if (delta < 0 && t < static_cast<std::uint64_t>(-delta))
        return FALSE;
    if (delta > 0 && t > kMaxFileTime - static_cast<std::uint64_t>(delta))
        return FALSE;
    SetTicks(*lpLocalFileTime, t + static_cast<std::uint64_t>(delta));
    return TRUE;
}

BOOL FileTimeToDosDateTime(const FILETIME *lpFileTime, WORD *lpFatDate, WORD *lpFatTime) {
    if (!lpFileTime || !lpFatDate || !lpFatTime)
        return FALSE;
    std::uint64_t t = Ticks(*lpFileTime);
    if (t > kMaxFileTime)
        return FALSE;
    std::uint64_t secs = t / kTicksPerSecond;
    long long days = static_cast<long long>(secs / 86400);
    unsigned rem = static_cast<unsigned>(secs % 86400);
    // Time stamps of one batch mostly share a day: remember the last day's
    // packed date per thread and skip the calendar arithmetic.
    thread_local long long cachedDays = -1;
    thread_local WORD cachedDate = 0;
    thread_local bool cachedInRange = false;
    if (days != cachedDays) {
        long long y;
        unsigned m, d;
        detail::CivilFromDays(days - kDaysFrom1601To1970, y, m, d);
        cachedInRange = y >= 1980 && y <= 2107;
        cachedDate = cachedInRange ? static_cast<WORD>(d | m << 5 | (y - 1980) << 9) : 0;
        cachedDays = days;
    }
    if (!cachedInRange)
        return FALSE;
    *lpFatDate = cachedDate;
    // Two-second resolution: an odd second falls to the even one below.
    *lpFatTime = static_cast<WORD>((rem % 60) / 2 | (rem / 60 % 60) << 5 | (rem / 3600) << 11);
    return TRUE;
}

#ifndef _WIN32
BOOL FileTimeToSystemTime(const FILETIME *lpFileTime, SYSTEMTIME *lpSystemTime) {
    if (!lpFileTime || !lpSystemTime)
        return FALSE;
    std::uint64_t t = Ticks(*lpFileTime);
    if (t > kMaxFileTime)
        return FALSE;
    Civil c = CivilOf(t);
    if (c.year > 30827)
        return FALSE;
    *lpSystemTime = SYSTEMTIME{static_cast<WORD>(c.year),      static_cast<WORD>(c.month),
                               static_cast<WORD>(c.dayOfWeek), static_cast<WORD>(c.day),
                               static_cast<WORD>(c.hour),      static_cast<WORD>(c.minute),
                               static_cast<WORD>(c.second),    static_cast<WORD>(c.millis)};
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME *lpSystemTime, FILETIME *lpFileTime) {
    if (!lpSystemTime || !lpFileTime)
        return FALSE;
    const SYSTEMTIME &s = *lpSystemTime;
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (s.wYear < 1601 || s.wYear > 30827 || s.wMonth < 1 || s.wMonth > 12 || s.wDay < 1 ||
        s.wHour > 23 || s.wMinute > 59 || s.wSecond > 59 || s.wMilliseconds > 999)
        return FALSE;
    bool leap = (s.wYear % 4 == 0 && s.wYear % 100 != 0) || s.wYear % 400 == 0;
    if (s.wDay > kDays[s.wMonth - 1] + (s.wMonth == 2 && leap ? 1 : 0))
        return FALSE;
    long long days = detail::DaysFromCivil(s.wYear, s.wMonth, s.wDay) + kDaysFrom1601To1970;
    std::uint64_t secs =
        static_cast<std::uint64_t>(days) * 86400 + s.wHour * 3600u + s.wMinute * 60u + s.wSecond;
    SetTicks(*lpFileTime, secs * kTicksPerSecond + s.wMilliseconds * 10'000ULL);
    return TRUE;
}
#endif // !_WIN32

} // namespace vexo::platform
