//===- DateUtils.cpp - TDateTime encoding, decoding and text -------------===//
//
// This file implements the TDateTime conversions. Day numbers are computed
// arithmetically (proleptic Gregorian calendar), never through the C library's
// time functions, so FileDateToDateTime stays a few nanoseconds.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/DateUtils.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include <vexo/framework/SysUtils.h>
#include <vexo/platform/Time.h>

namespace vexo {
namespace {

constexpr long long MSecsPerDay = 86400000;

/// Days from 1970-01-01 to the civil date (any year, month 1..12).
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

/// The civil date of a count of days from 1970-01-01.
constexpr void CivilFromDays(long long z, int &Y, int &M, int &D) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    D = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    M = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    Y = static_cast<int>(y + (M <= 2));
}

/// Day number of 1970-01-01 in TDateTime terms (days since 1899-12-30).
constexpr long long UnixEpochDay = -DaysFromCivil(1899, 12, 30);
static_assert(UnixEpochDay == 25569);

constexpr bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int DaysInMonth(int y, int m) {
    constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

/// Splits a TDateTime into a day number and milliseconds of the day. The
/// fraction of a negative value counts forward from the day's midnight, as
/// the type defines it (-1.25 is 1899-12-29 06:00).
void Split(TDateTime DateTime, long long &Day, long long &MSec) {
    double whole = std::trunc(DateTime);
    Day = static_cast<long long>(whole);
    MSec = std::llround(std::fabs(DateTime - whole) * static_cast<double>(MSecsPerDay));
    if (MSec >= MSecsPerDay) {
        MSec -= MSecsPerDay;
        ++Day;
    }
}

} // namespace

TDateTime EncodeDate(int Year, int Month, int Day) {
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
        Day > DaysInMonth(Year, Month))
        throw EConvertError("Invalid argument to date encode");
    return static_cast<TDateTime>(DaysFromCivil(Year, static_cast<unsigned>(Month),
                                                static_cast<unsigned>(Day)) +
                                  UnixEpochDay);
}

TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec) {
    if (Hour < 0 || Hour > 23 || Min < 0 || Min > 59 || Sec < 0 || Sec > 59 || MSec < 0 ||
        MSec > 999)
        throw EConvertError("Invalid argument to time encode");
    return static_cast<TDateTime>(Hour * 3600000LL + Min * 60000LL + Sec * 1000LL + MSec) /
           static_cast<TDateTime>(MSecsPerDay);
}

void DecodeDate(TDateTime DateTime, int &Year, int &Month, int &Day) {
    long long day = 0, ms = 0;
    Split(DateTime, day, ms);
    CivilFromDays(day - UnixEpochDay, Year, Month, Day);
}

void DecodeTime(TDateTime DateTime, int &Hour, int &Min, int &Sec, int &MSec) {
    long long day = 0, ms = 0;
    Split(DateTime, day, ms);
    Hour = static_cast<int>(ms / 3600000);
    Min = static_cast<int>(ms / 60000 % 60);
    Sec = static_cast<int>(ms / 1000 % 60);
    MSec = static_cast<int>(ms % 1000);
}

TDateTime FileDateToDateTime(int FileDate) {
    const auto packed = static_cast<std::uint32_t>(FileDate);
    const unsigned time = packed & 0xFFFFu;
    const unsigned date = packed >> 16;
    const unsigned sec = (time & 0x1Fu) * 2;
    const unsigned min = (time >> 5) & 0x3Fu;
    const unsigned hour = time >> 11;
    const unsigned day = date & 0x1Fu;
    const unsigned month = (date >> 5) & 0x0Fu;
    const int year = static_cast<int>(date >> 9) + 1980;
    if (sec > 59 || min > 59 || hour > 23 || month < 1 || month > 12 || day < 1 ||
        static_cast<int>(day) > DaysInMonth(year, static_cast<int>(month)))
        throw EConvertError("Invalid packed file date " + IntToHex(packed, 8));
    const long long dayNumber = DaysFromCivil(year, month, day) + UnixEpochDay;
    return static_cast<double>(dayNumber) + hour / 24.0 + min / 1440.0 + sec / 86400.0;
}

std::string DateTimeToStr(TDateTime DateTime) {
    if (!std::isfinite(DateTime) || std::fabs(DateTime) > 3.0e6)
        return FloatToStr(DateTime); // outside the calendar: show the number
    long long day = 0, ms = 0;
    Split(DateTime, day, ms);
    int y = 0, m = 0, d = 0;
    CivilFromDays(day - UnixEpochDay, y, m, d);
    char buf[48];
    if (ms / 1000 == 0) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d,
                      static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                      static_cast<int>(ms / 1000 % 60));
    }
    return buf;
}

TDateTime Now() {
    using namespace std::chrono;
    const long long utcMs =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const long long localMs = utcMs + vexo::platform::CurrentUtcOffsetMinutes() * 60000LL;
    const long long days = localMs >= 0 ? localMs / MSecsPerDay : -((-localMs + MSecsPerDay - 1) / MSecsPerDay);
    const long long rest = localMs - days * MSecsPerDay;
    return static_cast<double>(days + UnixEpochDay) +
           static_cast<double>(rest) / static_cast<double>(MSecsPerDay);
}

} // namespace vexo
