//===- Time.h - file times, local time and MS-DOS packed dates -----------===//
//
// This file declares the kernel time services: the system time as a FILETIME,
// UTC to local file time with the current bias (daylight saving as in force
// now, refreshed at most once a second so a conversion stays cheap), and the
// MS-DOS packed date/time.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <optional>

#include <vexo/platform/ComBase.h>

#ifndef _WIN32
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
#endif

namespace vexo::platform {

#ifdef _WIN32
using ::FileTimeToSystemTime;
using ::GetSystemTimeAsFileTime;
using ::SystemTimeToFileTime;
#else
void GetSystemTimeAsFileTime(FILETIME *lpSystemTimeAsFileTime);
BOOL FileTimeToSystemTime(const FILETIME *lpFileTime, SYSTEMTIME *lpSystemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME *lpSystemTime, FILETIME *lpFileTime);
#endif
/// Shifts a UTC file time by the current local bias. FALSE on overflow.
BOOL FileTimeToLocalFileTime(const FILETIME *lpFileTime, FILETIME *lpLocalFileTime);
/// FALSE for years outside 1980..2107.
BOOL FileTimeToDosDateTime(const FILETIME *lpFileTime, WORD *lpFatDate, WORD *lpFatTime);

/// Minutes to add to UTC to get local time, as in force now (cached <= 1 s).
int CurrentUtcOffsetMinutes();
/// Test hook: forces the offset (std::nullopt returns to the system's).
void SetUtcOffsetOverrideForTesting(std::optional<int> minutes);

} // namespace vexo::platform
