//===- SysUtils.cpp - COM errors, string and number helpers --------------===//
//
// This file implements OleError/OleCheck and the string and number helpers of
// SysUtils.h. Number texts always use '.' as decimal separator, whatever the
// C locale says, so that files and messages read the same everywhere.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/SysUtils.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include <vexo/platform/ErrorText.h>

namespace vexo {

void OleError(HRESULT ErrorCode) {
    throw EOleSysError(vexo::platform::SystemErrorText(ErrorCode), ErrorCode);
}

void OleCheck(HRESULT Result) {
    if (FAILED(Result))
        OleError(Result);
}

// --- Strings ----------------------------------------------------------------

std::string Trim(std::string_view S) {
    std::size_t b = 0, e = S.size();
    while (b < e && static_cast<unsigned char>(S[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(S[e - 1]) <= ' ')
        --e;
    return std::string(S.substr(b, e - b));
}

std::string TrimLeft(std::string_view S) {
    std::size_t b = 0;
    while (b < S.size() && static_cast<unsigned char>(S[b]) <= ' ')
        ++b;
    return std::string(S.substr(b));
}

std::string TrimRight(std::string_view S) {
    std::size_t e = S.size();
    while (e > 0 && static_cast<unsigned char>(S[e - 1]) <= ' ')
        --e;
    return std::string(S.substr(0, e));
}

std::string LowerCase(std::string_view S) {
    std::string r(S);
    for (char &c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return r;
}

std::string UpperCase(std::string_view S) {
    std::string r(S);
    for (char &c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

bool SameText(std::string_view A, std::string_view B) {
    if (A.size() != B.size())
        return false;
    for (std::size_t i = 0; i < A.size(); ++i) {
        char a = A[i], b = B[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

std::string StringReplaceAll(std::string_view S, std::string_view From, std::string_view To) {
    if (From.empty())
        return std::string(S);
    std::string r;
    r.reserve(S.size());
    std::size_t pos = 0;
    for (;;) {
        std::size_t hit = S.find(From, pos);
        if (hit == std::string_view::npos)
            break;
        r.append(S.substr(pos, hit - pos));
        r.append(To);
        pos = hit + From.size();
    }
    r.append(S.substr(pos));
    return r;
}

// --- Numbers ----------------------------------------------------------------

std::string IntToStr(long long Value) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, Value);
    return std::string(buf, res.ptr);
}

std::string IntToHex(unsigned long long Value, int Digits) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, Value, 16);
    std::string r(buf, res.ptr);
    for (char &c : r)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    if (Digits > 0 && r.size() < static_cast<std::size_t>(Digits))
        r.insert(0, static_cast<std::size_t>(Digits) - r.size(), '0');
    return r;
}

namespace {

[[noreturn]] void BadInteger(std::string_view S) {
    throw EConvertError("'" + std::string(S) + "' is not a valid integer value");
}

std::string_view Stripped(std::string_view S) {
    while (!S.empty() && static_cast<unsigned char>(S.front()) <= ' ')
        S.remove_prefix(1);
    while (!S.empty() && static_cast<unsigned char>(S.back()) <= ' ')
        S.remove_suffix(1);
    return S;
}

/// Parses decimal (with sign) or $hex / 0x hex text. Hex text is a bit
/// pattern of up to Bits bits, so "$FFFFFFFF" is -1 for a 32-bit value.
bool ParseInteger(std::string_view S, int Bits, long long &Out) {
    S = Stripped(S);
    bool neg = false;
    if (!S.empty() && (S.front() == '-' || S.front() == '+')) {
        neg = S.front() == '-';
        S.remove_prefix(1);
    }
    int base = 10;
    if (!S.empty() && S.front() == '$') {
        base = 16;
        S.remove_prefix(1);
    } else if (S.size() > 1 && S[0] == '0' && (S[1] == 'x' || S[1] == 'X')) {
        base = 16;
        S.remove_prefix(2);
    }
    if (S.empty())
        return false;
    unsigned long long u = 0;
    auto res = std::from_chars(S.data(), S.data() + S.size(), u, base);
    if (res.ec != std::errc() || res.ptr != S.data() + S.size())
        return false;
    if (base == 16) {
        if (Bits < 64 && u >> Bits)
            return false;
        long long v = Bits == 32 ? static_cast<long long>(static_cast<std::int32_t>(u))
                                 : static_cast<long long>(u);
        Out = neg ? -v : v;
        return true;
    }
    unsigned long long limit = Bits == 32 ? 0x7FFFFFFFull : 0x7FFFFFFFFFFFFFFFull;
    if (u > limit + (neg ? 1 : 0))
        return false;
    Out = neg ? static_cast<long long>(0 - u) : static_cast<long long>(u);
    return true;
}

} // namespace

int StrToInt(std::string_view S) {
    long long v = 0;
    if (!ParseInteger(S, 32, v))
        BadInteger(S);
    return static_cast<int>(v);
}

long long StrToInt64(std::string_view S) {
    long long v = 0;
    if (!ParseInteger(S, 64, v))
        BadInteger(S);
    return v;
}

int StrToIntDef(std::string_view S, int Default) {
    long long v = 0;
    return ParseInteger(S, 32, v) ? static_cast<int>(v) : Default;
}

double StrToFloat(std::string_view S) {
    std::string_view t = Stripped(S);
    bool neg = false;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        neg = t.front() == '-';
        t.remove_prefix(1);
    }
    // Only digits, one point and an exponent: no "inf", "nan" or hex floats.
    bool ok = !t.empty() && t.front() != '+' && t.front() != '-';
    for (char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
            ok = false;
    double v = 0;
    if (ok) {
        auto res = std::from_chars(t.data(), t.data() + t.size(), v);
        ok = res.ec == std::errc() && res.ptr == t.data() + t.size();
    }
    if (!ok)
        throw EConvertError("'" + std::string(S) + "' is not a valid floating point value");
    return neg ? -v : v;
}

std::string FloatToStr(double Value) {
    if (std::isnan(Value))
        return "NAN";
    if (std::isinf(Value))
        return Value < 0 ? "-INF" : "INF";
    if (Value == 0)
        return "0";
    // Shortest round-trip digits; more than 15 significant digits are cut to 15.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    std::size_t epos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, epos))
        if (c >= '0' && c <= '9')
            digits += c;
    if (digits.size() > 15) {
        res = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::scientific, 14);
        sci = std::string_view(buf, static_cast<std::size_t>(res.ptr - buf));
        epos = sci.find('e');
        digits.clear();
        for (char c : sci.substr(0, epos))
            if (c >= '0' && c <= '9')
                digits += c;
        while (digits.size() > 1 && digits.back() == '0')
            digits.pop_back();
    }
    int exp = 0;
    std::from_chars(sci.data() + epos + 1 + (sci[epos + 1] == '+'), sci.data() + sci.size(), exp);
    std::string r;
    if (Value < 0)
        r += '-';
    const int n = static_cast<int>(digits.size());
    if (exp >= 15 || exp < -5) {
        r += digits[0];
        if (n > 1) {
            r += '.';
            r.append(digits, 1);
        }
        r += 'E';
        r += std::to_string(exp);
    } else if (exp < 0) {
        r += "0.";
        r.append(static_cast<std::size_t>(-exp - 1), '0');
        r += digits;
    } else if (n <= exp + 1) {
        r += digits;
        r.append(static_cast<std::size_t>(exp + 1 - n), '0');
    } else {
        r.append(digits, 0, static_cast<std::size_t>(exp + 1));
        r += '.';
        r.append(digits, static_cast<std::size_t>(exp + 1));
    }
    return r;
}

} // namespace vexo
