//===- Format.cpp - Format with the framework's specifiers ---------------===//
//
// This file implements Format: "%[index:][-][width][.precision]type" with the
// types d u x X f e g n m p c s and "%%". Width and precision may be "*" (taken
// from the next argument). Arguments are checked against their specifier; a
// mismatch or a missing argument raises EConvertError naming the format.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/SysUtils.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace vexo {
namespace {

[[noreturn]] void Invalid(std::string_view Fmt) {
    throw EConvertError("Format '" + std::string(Fmt) + "' invalid or incompatible with argument");
}

[[noreturn]] void NoArgument(std::string_view Fmt) {
    throw EConvertError("No argument for format '" + std::string(Fmt) + "'");
}

bool IsInteger(const FormatArg::Value &V) {
    return std::holds_alternative<std::int64_t>(V) || std::holds_alternative<std::uint64_t>(V);
}

std::string Digits(std::uint64_t Magnitude, int Base, bool Upper) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, Magnitude, Base);
    std::string r(buf, res.ptr);
    if (Upper)
        for (char &c : r)
            if (c >= 'a' && c <= 'f')
                c = static_cast<char>(c - 'a' + 'A');
    return r;
}

/// Fixed-point text with Prec decimals, in the "C" form ('.' separator).
std::string Fixed(double V, int Prec) {
    char buf[512];
    auto res = std::to_chars(buf, buf + sizeof buf, V, std::chars_format::fixed, Prec);
    if (res.ec != std::errc())
        return std::to_string(V);
    return std::string(buf, res.ptr);
}

/// "d.dddE+ddd": Prec significant digits, exponent of at least three digits.
std::string Scientific(double V, int Prec) {
    if (Prec < 1)
        Prec = 1;
    if (Prec > 18)
        Prec = 18;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, V, std::chars_format::scientific, Prec - 1);
    std::string s(buf, res.ptr);
    std::size_t e = s.find('e');
    if (e == std::string::npos)
        return s;
    std::string mant = s.substr(0, e);
    char sign = s[e + 1];
    std::string exp = s.substr(e + 2);
    while (exp.size() < 3)
        exp.insert(0, 1, '0');
    return mant + "E" + sign + exp;
}

/// General form: Prec significant digits, trailing zeros removed, scientific
/// when the exponent is out of the fixed range.
std::string General(double V, int Prec) {
    if (Prec < 1 || Prec > 15)
        Prec = 15;
    if (V == 0)
        return "0";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, V, std::chars_format::scientific, Prec - 1);
    std::string s(buf, res.ptr);
    std::size_t e = s.find('e');
    int exp = std::atoi(s.c_str() + e + 1);
    std::string digits;
    for (char c : s.substr(0, e))
        if (c >= '0' && c <= '9')
            digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string r = V < 0 ? "-" : "";
    const int n = static_cast<int>(digits.size());
    if (exp >= Prec || exp < -5) {
        r += digits[0];
        if (n > 1)
            r += "." + digits.substr(1);
        r += "E" + std::to_string(exp);
    } else if (exp < 0) {
        r += "0." + std::string(static_cast<std::size_t>(-exp - 1), '0') + digits;
    } else if (n <= exp + 1) {
        r += digits + std::string(static_cast<std::size_t>(exp + 1 - n), '0');
    } else {
        r += digits.substr(0, static_cast<std::size_t>(exp + 1)) + "." +
             digits.substr(static_cast<std::size_t>(exp + 1));
    }
    return r;
}

/// Inserts ',' between groups of three digits of the integral part.
std::string Grouped(const std::string &Text) {
    std::size_t start = (!Text.empty() && Text[0] == '-') ? 1 : 0;
    std::size_t end = Text.find('.');
    if (end == std::string::npos)
        end = Text.size();
    std::string r = Text.substr(0, start);
    for (std::size_t i = start; i < end; ++i) {
        r += Text[i];
        std::size_t left = end - i - 1;
        if (left > 0 && left % 3 == 0)
            r += ',';
    }
    r += Text.substr(end);
    return r;
}

} // namespace

std::string Format(std::string_view Fmt, std::initializer_list<FormatArg> ArgList) {
    const FormatArg *args = ArgList.begin();
    const std::size_t count = ArgList.size();
    std::size_t next = 0;
    std::string out;
    out.reserve(Fmt.size() + 16 * count);

    auto takeInt = [&]() -> int {
        if (next >= count)
            NoArgument(Fmt);
        const auto &v = args[next++].Get();
        if (const auto *i = std::get_if<std::int64_t>(&v))
            return static_cast<int>(*i);
        if (const auto *u = std::get_if<std::uint64_t>(&v))
            return static_cast<int>(*u);
        Invalid(Fmt);
    };

    std::size_t i = 0;
    while (i < Fmt.size()) {
        char c = Fmt[i];
        if (c != '%') {
            std::size_t pct = Fmt.find('%', i);
            if (pct == std::string_view::npos)
                pct = Fmt.size();
            out.append(Fmt.substr(i, pct - i));
            i = pct;
            continue;
        }
        ++i;
        if (i >= Fmt.size())
            Invalid(Fmt);
        if (Fmt[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // Optional index, flag, width, precision.
        auto readNumber = [&](int &Out) -> bool {
            if (i < Fmt.size() && Fmt[i] == '*') {
                ++i;
                Out = takeInt();
                return true;
            }
            if (i >= Fmt.size() || Fmt[i] < '0' || Fmt[i] > '9')
                return false;
            long long n = 0;
            while (i < Fmt.size() && Fmt[i] >= '0' && Fmt[i] <= '9') {
                n = n * 10 + (Fmt[i] - '0');
                if (n > 100000)
                    Invalid(Fmt);
                ++i;
            }
            Out = static_cast<int>(n);
            return true;
        };
        int width = -1, prec = -1;
        bool left = false;
        {
            std::size_t save = i;
            int idx = 0;
            // An index is digits followed by ':'; "*" as index is not supported.
            if (i < Fmt.size() && Fmt[i] >= '0' && Fmt[i] <= '9') {
                readNumber(idx);
                if (i < Fmt.size() && Fmt[i] == ':') {
                    ++i;
                    next = static_cast<std::size_t>(idx);
                } else {
                    i = save;
                }
            }
        }
        if (i < Fmt.size() && Fmt[i] == '-') {
            left = true;
            ++i;
        }
        if (readNumber(width) && width < 0) { // a negative "*" width means left-justified
            left = true;
            width = -width;
        }
        if (i < Fmt.size() && Fmt[i] == '.') {
            ++i;
            if (!readNumber(prec))
                prec = 0;
        }
        if (i >= Fmt.size())
            Invalid(Fmt);
        char type = Fmt[i++];
        if (next >= count)
            NoArgument(Fmt);
        const FormatArg::Value &v = args[next++].Get();
        std::string text;
        switch (type) {
        case 'd':
        case 'D':
        case 'u':
        case 'U':
        case 'x':
        case 'X': {
            if (!IsInteger(v))
                Invalid(Fmt);
            bool neg = false;
            std::uint64_t mag = 0;
            const bool isUnsignedSpec = type == 'u' || type == 'U';
            const bool isHex = type == 'x' || type == 'X';
            if (const auto *s = std::get_if<std::int64_t>(&v)) {
                if (*s < 0 && (isUnsignedSpec || isHex)) {
                    // A negative value shows its two's complement bit pattern,
                    // 32 bits wide when it fits, as an unsigned number would.
                    mag = *s >= INT32_MIN ? static_cast<std::uint32_t>(*s)
                                          : static_cast<std::uint64_t>(*s);
                } else if (*s < 0) {
                    neg = true;
                    mag = 0 - static_cast<std::uint64_t>(*s);
                } else {
                    mag = static_cast<std::uint64_t>(*s);
                }
            } else {
                mag = std::get<std::uint64_t>(v);
            }
            std::string d = Digits(mag, isHex ? 16 : 10, type == 'X');
            if (prec > 0 && d.size() < static_cast<std::size_t>(prec))
                d.insert(0, static_cast<std::size_t>(prec) - d.size(), '0');
            text = neg ? "-" + d : d;
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'n':
        case 'N':
        case 'm':
        case 'M': {
            const auto *d = std::get_if<double>(&v);
            if (!d)
                Invalid(Fmt);
            char t = static_cast<char>(type | 0x20);
            if (std::isnan(*d))
                text = "NAN";
            else if (std::isinf(*d))
                text = *d < 0 ? "-INF" : "INF";
            else if (t == 'f')
                text = Fixed(*d, prec < 0 ? 2 : std::min(prec, 18));
            else if (t == 'e')
                text = Scientific(*d, prec < 0 ? 15 : prec);
            else if (t == 'g')
                text = General(*d, prec < 0 ? 15 : prec);
            else
                text = Grouped(Fixed(*d, prec < 0 ? 2 : std::min(prec, 18)));
            break;
        }
        case 's':
        case 'S': {
            const auto *s = std::get_if<std::string>(&v);
            if (!s)
                Invalid(Fmt);
            text = prec >= 0 && static_cast<std::size_t>(prec) < s->size()
                       ? s->substr(0, static_cast<std::size_t>(prec))
                       : *s;
            break;
        }
        case 'c':
        case 'C': {
            if (const auto *s = std::get_if<std::string>(&v)) {
                if (s->size() != 1)
                    Invalid(Fmt);
                text = *s;
            } else if (IsInteger(v)) {
                std::int64_t code = std::holds_alternative<std::int64_t>(v)
                                        ? std::get<std::int64_t>(v)
                                        : static_cast<std::int64_t>(std::get<std::uint64_t>(v));
                if (code < 0 || code > 255)
                    Invalid(Fmt);
                text = std::string(1, static_cast<char>(code));
            } else {
                Invalid(Fmt);
            }
            break;
        }
        case 'p':
        case 'P': {
            const auto *p = std::get_if<const void *>(&v);
            if (!p)
                Invalid(Fmt);
            text = Digits(reinterpret_cast<std::uintptr_t>(*p), 16, true);
            text.insert(0, sizeof(void *) * 2 - text.size(), '0');
            break;
        }
        default:
            Invalid(Fmt);
        }
        if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
            std::size_t pad = static_cast<std::size_t>(width) - text.size();
            if (left)
                text.append(pad, ' ');
            else
                text.insert(0, pad, ' ');
        }
        out += text;
    }
    return out;
}

} // namespace vexo
