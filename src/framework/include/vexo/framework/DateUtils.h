//===- DateUtils.h - TDateTime and its conversions -----------------------===//
//
// TDateTime is a double: the integral part counts days since 1899-12-30, the
// fraction is the time of day, in local time; 0 stands for no time.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

namespace vexo {

using TDateTime = double;

/// Days since 1899-12-30 for a calendar date; raises EConvertError when invalid.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Min, int Sec, int MSec);
void DecodeDate(TDateTime DateTime, int &Year, int &Month, int &Day);
void DecodeTime(TDateTime DateTime, int &Hour, int &Min, int &Sec, int &MSec);
/// Converts an MS-DOS packed date/time (time word low 16 bits, date word high
/// 16 bits) to TDateTime; raises EConvertError for an invalid packed value.
TDateTime FileDateToDateTime(int FileDate);
/// "YYYY-MM-DD hh:mm:ss" (the date alone when the time is 00:00:00).
std::string DateTimeToStr(TDateTime DateTime);
/// The current local time.
TDateTime Now();

} // namespace vexo
