//===- VariantText.cpp - number and date text for conversions ------------===//
//
// This file implements the locale-independent parsing and formatting used by
// VariantChangeType: numbers in the "C" locale form, currency and DECIMAL
// values as scaled integers, and OLE dates as ISO-like text.
//
//===----------------------------------------------------------------------===//
#include "VariantText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vexo::platform::detail {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

constexpr int kMaxExactDigits = 38; // 10^38 < 2^128

/// Reads exactly n digits at s[pos]; advances pos.
bool ReadDigits(std::u16string_view s, std::size_t &pos, int n, int &out) {
    out = 0;
    for (int i = 0; i < n; ++i, ++pos) {
        if (pos >= s.size() || !IsDigit(s[pos]))
            return false;
        out = out * 10 + (s[pos] - u'0');
    }
    return true;
}

/// Reads 1 or 2 digits at s[pos]; advances pos.
bool ReadShort(std::u16string_view s, std::size_t &pos, int &out) {
    if (pos >= s.size() || !IsDigit(s[pos]))
        return false;
    out = s[pos++] - u'0';
    if (pos < s.size() && IsDigit(s[pos]))
        out = out * 10 + (s[pos++] - u'0');
    return true;
}

} // namespace

long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long &y, unsigned &m, unsigned &d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<long long>(yoe) + era * 400 + (m <= 2);
}

#ifdef __SIZEOF_INT128__
std::optional<ParsedNumber> ParseNumber(std::u16string_view text) {
    std::u16string_view s = Trim(text);
    ParsedNumber r;
    std::string ascii; // what from_chars reads: no leading '+'
    std::size_t i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        r.negative = s[i] == u'-';
        if (r.negative)
            ascii += '-';
        ++i;
    }
    int digits = 0, significant = 0;
    long long exp10 = 0;
    bool overflowDigits = false;
    auto takeDigit = [&](char16_t c, bool fraction) {
        ascii += static_cast<char>(c);
        ++digits;
        if (fraction)
            --exp10;
        if (significant == 0 && c == u'0')
            return;
        if (significant >= kMaxExactDigits) {
            overflowDigits = true;
            if (!fraction)
                ++exp10; // keep the magnitude, lose the digit
            return;
        }
        ++significant;
        r.mantissa = r.mantissa * 10 + static_cast<unsigned>(c - u'0');
    };
    while (i < s.size() && IsDigit(s[i]))
        takeDigit(s[i++], false);
    if (i < s.size() && s[i] == u'.') {
        ascii += '.';
        ++i;
        while (i < s.size() && IsDigit(s[i]))
            takeDigit(s[i++], true);
    }
    if (digits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        ascii += 'e';
        ++i;
        bool expNeg = false;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
            expNeg = s[i] == u'-';
            ascii += static_cast<char>(s[i]);
            ++i;
        }
        if (i >= s.size() || !IsDigit(s[i]))
            return std::nullopt;
        long long e = 0;
        while (i < s.size() && IsDigit(s[i])) {
            if (e < 100000)
                e = e * 10 + (s[i] - u'0');
            ascii += static_cast<char>(s[i++]);
        }
        exp10 += expNeg ? -e : e;
    }
    if (i != s.size())
        return std::nullopt;
    r.exact = !overflowDigits && exp10 > -100000 && exp10 < 100000;
    r.exp10 = static_cast<int>(std::clamp<long long>(exp10, -100000, 100000));
    auto res = std::from_chars(ascii.data(), ascii.data() + ascii.size(), r.value);
    if (res.ec == std::errc::result_out_of_range) {
        // Magnitude: significant digits plus the exponent decide over/underflow.
        bool huge = significant + exp10 > 0;
        r.value = huge ? (r.negative ? -HUGE_VAL : HUGE_VAL) : (r.negative ? -0.0 : 0.0);
    } else if (res.ec != std::errc() || res.ptr != ascii.data() + ascii.size()) {
        return std::nullopt;
    }
    return r;
}

bool ScaleToInteger(u128 mantissa, int exp10, u128 &out) {
    if (mantissa == 0) {
        out = 0;
        return true;
    }
    if (exp10 >= 0) {
        for (int k = 0; k < exp10; ++k) {
            if (mantissa > ~u128(0) / 10)
                return false;
            mantissa *= 10;
        }
        out = mantissa;
        return true;
    }
    if (exp10 < -40) { // the value is below 10^-2: rounds to 0
        out = 0;
        return true;
    }
    unsigned last = 0;
    bool sticky = false;
    for (int k = 0; k < -exp10; ++k) {
        sticky = sticky || last != 0;
        last = static_cast<unsigned>(mantissa % 10);
        mantissa /= 10;
    }
    if (last > 5 || (last == 5 && (sticky || (mantissa & 1))))
        ++mantissa;
    out = mantissa;
    return true;
}

std::string FormatScaled(bool negative, u128 mantissa, int scale) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(mantissa % 10)));
        mantissa /= 10;
    } while (mantissa != 0);
    while (static_cast<int>(digits.size()) <= scale)
        digits.insert(digits.begin(), '0');
    std::string intPart = digits.substr(0, digits.size() - scale);
    std::string frac = digits.substr(digits.size() - scale);
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    std::string out = intPart;
    if (!frac.empty())
        out += "." + frac;
    if (negative && out != "0")
        out.insert(out.begin(), '-');
    return out;
}

#endif

std::string FormatDouble(double v, int digits) {
    if (v == 0)
        return "0";
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v < 0 ? "-Infinity" : "Infinity";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
    std::string s(buf, res.ptr);
    for (char &c : s)
        if (c == 'e')
            c = 'E';
    return s;
}

std::optional<std::string> FormatDate(double date) {
    if (!(date >= kMinDate && date < kMaxDateExclusive))
        return std::nullopt;
    double whole = std::trunc(date);
    long long secs = std::llround(std::fabs(date - whole) * 86400.0);
    if (secs >= 86400)
        secs = 86399; // never roll into the next day through rounding
    long long day = static_cast<long long>(whole);
    long long y;
    unsigned m, d;
    CivilFromDays(day + DaysFromCivil(1899, 12, 30), y, m, d);
    char buf[40];
    int h = static_cast<int>(secs / 3600), mi = static_cast<int>(secs / 60 % 60),
        s = static_cast<int>(secs % 60);
    if (day == 0 && secs != 0)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
    else if (secs == 0)
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", y, m, d);
    else
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02d:%02d:%02d", y, m, d, h, mi, s);
    return std::string(buf);
}

std::optional<double> ParseDate(std::u16string_view text) {
    std::u16string_view s = Trim(text);
    std::size_t pos = 0;
    int y = 1899, mo = 12, d = 30;
    bool haveDate = false, haveTime = false;
    // Date part: YYYY-MM-DD (or with '/').
    if (s.size() >= 8 && IsDigit(s[0]) && IsDigit(s[1]) && IsDigit(s[2]) && IsDigit(s[3]) &&
        (s[4] == u'-' || s[4] == u'/')) {
        char16_t sep = s[4];
        if (!ReadDigits(s, pos, 4, y) || s[pos++] != sep || !ReadShort(s, pos, mo) ||
            pos >= s.size() || s[pos++] != sep || !ReadShort(s, pos, d))
            return std::nullopt;
        haveDate = true;
        if (pos < s.size()) {
            if (s[pos] != u' ' && s[pos] != u'T')
                return std::nullopt;
            ++pos;
        }
    }
    int h = 0, mi = 0, sec = 0;
    double fraction = 0;
    if (pos < s.size()) {
        if (!ReadShort(s, pos, h) || pos >= s.size() || s[pos++] != u':' || !ReadShort(s, pos, mi))
            return std::nullopt;
        if (pos < s.size() && s[pos] == u':') {
            ++pos;
            if (!ReadShort(s, pos, sec))
                return std::nullopt;
            if (pos < s.size() && s[pos] == u'.') {
                ++pos;
                double scale = 0.1;
                if (pos >= s.size() || !IsDigit(s[pos]))
                    return std::nullopt;
                while (pos < s.size() && IsDigit(s[pos])) {
                    fraction += (s[pos++] - u'0') * scale;
                    scale /= 10;
                }
            }
        }
        haveTime = true;
    }
    if (pos != s.size() || (!haveDate && !haveTime))
        return std::nullopt;
    if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || sec > 59)
        return std::nullopt;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kDays[mo - 1] + (mo == 2 && leap))
        return std::nullopt;
    long long days = DaysFromCivil(y, mo, d) - DaysFromCivil(1899, 12, 30);
    double frac = (h * 3600 + mi * 60 + sec + fraction) / 86400.0;
    // Before 1899-12-30 the fraction still counts forward from midnight.
    return days >= 0 ? static_cast<double>(days) + frac : static_cast<double>(days) - frac;
}

} // namespace vexo::platform::detail
