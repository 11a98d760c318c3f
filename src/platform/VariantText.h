//===- VariantText.h - private number and date text for conversions ------===//
//
// This file declares the helpers VariantChangeType uses to turn numbers and
// dates into text and back, independent of the C library's locale, and the
// exact decimal scaling (with round-half-even) shared by the integer,
// currency and DECIMAL conversions.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <vexo/platform/Variant.h>

namespace vexo::platform::detail {

#ifdef __SIZEOF_INT128__ // the exact conversions; not needed where the system converts
using u128 = unsigned __int128;
using i128 = __int128;

/// A number parsed from text: (-1)^negative * mantissa * 10^exp10 when exact,
/// and the nearest double in every case (infinite when out of range).
struct ParsedNumber {
    bool negative = false;
    u128 mantissa = 0;
    int exp10 = 0;
    bool exact = false;
    double value = 0;
};

/// Parses "[+-]digits[.digits][e[+-]digits]" with surrounding blanks; nullopt
/// for anything else.
std::optional<ParsedNumber> ParseNumber(std::u16string_view text);

/// mantissa * 10^exp10 rounded half-to-even to an integer; false on overflow.
bool ScaleToInteger(u128 mantissa, int exp10, u128 &out);

/// "-123.45" from sign, digits and the number of fraction digits; trailing
/// fraction zeros are dropped.
std::string FormatScaled(bool negative, u128 mantissa, int scale);

#endif

/// Shortest "C"-locale text of v with at most `digits` significant digits.
std::string FormatDouble(double v, int digits);

/// "YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss" or "hh:mm:ss" for an OLE date; nullopt
/// when the date is outside the representable range.
std::optional<std::string> FormatDate(double date);

/// Parses the forms FormatDate writes (and 'T' as separator, fractional
/// seconds); nullopt for anything else.
std::optional<double> ParseDate(std::u16string_view text);

/// OLE dates run from 0100-01-01 to 9999-12-31.
constexpr double kMinDate = -657434.0;
constexpr double kMaxDateExclusive = 2958466.0;

/// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long DaysFromCivil(long long y, unsigned m, unsigned d);
void CivilFromDays(long long z, long long &y, unsigned &m, unsigned &d);

} // namespace vexo::platform::detail
