//===- ValueText.cpp - item values, types and times as vexo-opc shows them ===//
#include "ValueText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include <vexo/VexoErrors.h>
#include <vexo/platform/Time.h>

namespace vexo::cli {

namespace {

constexpr double MinutesPerDay = 24.0 * 60.0;

std::string TwoDigits(int N) {
    char Buf[16];
    std::snprintf(Buf, sizeof Buf, "%02d", N);
    return Buf;
}

/// "2024-05-06T07:08:09", with ".mmm" when the milliseconds are not zero.
std::string IsoText(TDateTime Time) {
    int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0, Ms = 0;
    DecodeDate(Time, Y, Mo, D);
    DecodeTime(Time, H, Mi, S, Ms);
    char Buf[40];
    std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02dT%02d:%02d:%02d", Y, Mo, D, H, Mi, S);
    std::string Text = Buf;
    if (Ms != 0) {
        std::snprintf(Buf, sizeof Buf, ".%03d", Ms);
        Text += Buf;
    }
    return Text;
}

/// A float as the shortest decimal that reads back as the same float, so that
/// 0.1f shows as 0.1 and not as the double it widens to.
double ShortestDouble(float F) {
    char Buf[64];
    const auto [End, Ec] = std::to_chars(Buf, Buf + sizeof Buf, F);
    double D = F;
    if (Ec == std::errc())
        std::from_chars(Buf, End, D);
    return D;
}

TCell ScalarToCell(const OleVariant &Value) {
    const VARIANT &V = Value.Var();
    switch (V.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return nullptr;
    case VT_BOOL:
        return V.boolVal != 0;
    case VT_I1:
        return static_cast<int>(V.cVal);
    case VT_I2:
        return V.iVal;
    case VT_I4:
        return V.lVal;
    case VT_INT:
        return V.intVal;
    case VT_I8:
        return V.llVal;
    case VT_UI1:
        return V.bVal;
    case VT_UI2:
        return V.uiVal;
    case VT_UI4:
        return V.ulVal;
    case VT_UINT:
        return V.uintVal;
    case VT_UI8:
        return V.ullVal;
    case VT_R4:
        return std::isfinite(V.fltVal) ? TCell(ShortestDouble(V.fltVal)) : TCell(VarToAStr(Value));
    case VT_R8:
        return std::isfinite(V.dblVal) ? TCell(V.dblVal) : TCell(VarToAStr(Value));
    case VT_CY:
        return static_cast<double>(V.cyVal.int64) / 10000.0;
    case VT_DATE:
        return IsoText(V.date);
    default:
        return VarToAStr(Value);
    }
}

[[noreturn]] void Refuse(const std::string &Text, const std::string &Reason) {
    throw EValueText("'" + Text + "' " + Reason);
}

template <typename T> T ParseInteger(const std::string &Text, std::int32_t VarType) {
    T Value{};
    const std::string Digits = Text.starts_with('+') ? Text.substr(1) : Text;
    const char *End = Digits.data() + Digits.size();
    const auto [Ptr, Ec] = std::from_chars(Digits.data(), End, Value);
    if (Digits.empty() || Ptr != End || (Ec != std::errc() && Ec != std::errc::result_out_of_range))
        Refuse(Text, "is not a whole number (the item's type is " + TypeName(VarType) + ")");
    if (Ec == std::errc::result_out_of_range)
        Refuse(Text, "is out of range for " + TypeName(VarType) + " (" +
                         std::to_string(std::numeric_limits<T>::min()) + ".." +
                         std::to_string(std::numeric_limits<T>::max()) + ")");
    return Value;
}

double ParseReal(const std::string &Text, std::int32_t VarType) {
    double Value = 0;
    const std::string Digits = Text.starts_with('+') ? Text.substr(1) : Text;
    const char *End = Digits.data() + Digits.size();
    const auto [Ptr, Ec] = std::from_chars(Digits.data(), End, Value);
    if (Digits.empty() || Ptr != End || Ec == std::errc::invalid_argument)
        Refuse(Text, "is not a number (the item's type is " + TypeName(VarType) + ")");
    if (Ec == std::errc::result_out_of_range ||
        (VarType == VT_R4 && std::isfinite(Value) &&
         std::fabs(Value) > std::numeric_limits<float>::max()))
        Refuse(Text, "is out of range for " + TypeName(VarType));
    return Value;
}

/// Currency: a decimal number with at most four places, held as 1/10000.
std::int64_t ParseCurrency(const std::string &Text) {
    const std::string Why = "is not an amount with at most 4 decimals (the item's type is CY)";
    const bool Signed = !Text.empty() && (Text[0] == '-' || Text[0] == '+');
    const bool Negative = Signed && Text[0] == '-';
    const std::size_t P = Signed ? 1 : 0;
    const std::size_t Dot = Text.find('.', P);
    const std::string Whole =
        Text.substr(P, Dot == std::string::npos ? std::string::npos : Dot - P);
    std::string Fraction = Dot == std::string::npos ? std::string() : Text.substr(Dot + 1);
    if ((Whole.empty() && Fraction.empty()) || Fraction.size() > 4 ||
        Whole.find_first_not_of("0123456789") != std::string::npos ||
        Fraction.find_first_not_of("0123456789") != std::string::npos)
        Refuse(Text, Why);
    Fraction.resize(4, '0');
    unsigned __int128 Scaled = 0;
    for (char C : Whole + Fraction) {
        Scaled = Scaled * 10 + static_cast<unsigned>(C - '0');
        if (Scaled > static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()) + 1)
            Refuse(Text, "is out of range for CY");
    }
    if (!Negative &&
        Scaled > static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()))
        Refuse(Text, "is out of range for CY");
    return Negative ? static_cast<std::int64_t>(-static_cast<__int128>(Scaled))
                    : static_cast<std::int64_t>(Scaled);
}

bool ParseBoolean(const std::string &Text) {
    const std::string L = LowerCase(Text);
    if (L == "true" || L == "1")
        return true;
    if (L == "false" || L == "0")
        return false;
    Refuse(Text, "is not true or false (the item's type is BOOL)");
}

/// Reads a fixed number of digits at Pos; false when they are not there.
bool Digits(const std::string &Text, std::size_t &Pos, std::size_t Count, int &Value) {
    if (Pos + Count > Text.size())
        return false;
    Value = 0;
    for (std::size_t I = 0; I < Count; ++I) {
        const char C = Text[Pos + I];
        if (C < '0' || C > '9')
            return false;
        Value = Value * 10 + (C - '0');
    }
    Pos += Count;
    return true;
}

/// "YYYY-MM-DD[(T| )HH:MM[:SS[.fff]]][Z|(+|-)HH:MM]" as local time.
TDateTime ParseDate(const std::string &Text) {
    const std::string Why = "is not a date and time like 2024-05-06T07:08:09 (the item's "
                            "type is DATE)";
    int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0, Ms = 0;
    std::size_t P = 0;
    const auto At = [&](char C) { return P < Text.size() && Text[P] == C; };
    if (!Digits(Text, P, 4, Y) || !At('-') || !Digits(Text, ++P, 2, Mo) || !At('-') ||
        !Digits(Text, ++P, 2, D))
        Refuse(Text, Why);
    if (At('T') || At(' ')) {
        if (!Digits(Text, ++P, 2, H) || !At(':') || !Digits(Text, ++P, 2, Mi))
            Refuse(Text, Why);
        if (At(':') && !Digits(Text, ++P, 2, S))
            Refuse(Text, Why);
        if (At('.')) {
            // Milliseconds: the first three digits, the rest cut off.
            const std::size_t Start = ++P;
            while (P < Text.size() && Text[P] >= '0' && Text[P] <= '9')
                ++P;
            if (P == Start)
                Refuse(Text, Why);
            const std::string Milli = (Text.substr(Start, P - Start) + "00").substr(0, 3);
            Ms = std::stoi(Milli);
        }
    }
    std::optional<int> OffsetMinutes;
    if (At('Z')) {
        ++P;
        OffsetMinutes = 0;
    } else if (At('+') || At('-')) {
        const int Sign = Text[P] == '-' ? -1 : 1;
        int OH = 0, OM = 0;
        if (!Digits(Text, ++P, 2, OH) || !At(':') || !Digits(Text, ++P, 2, OM))
            Refuse(Text, Why);
        OffsetMinutes = Sign * (OH * 60 + OM);
    }
    if (P != Text.size())
        Refuse(Text, Why);
    TDateTime Result = 0;
    try {
        Result = EncodeDate(Y, Mo, D);
        Result += Result < 0 ? -EncodeTime(H, Mi, S, Ms) : EncodeTime(H, Mi, S, Ms);
    } catch (const Exception &) {
        Refuse(Text, "is not a valid date and time");
    }
    if (OffsetMinutes)
        Result += (platform::CurrentUtcOffsetMinutes() - *OffsetMinutes) / MinutesPerDay;
    return Result;
}

OleVariant TextToScalar(const std::string &Text, std::int32_t VarType) {
    VARIANT V{};
    V.vt = static_cast<VARTYPE>(VarType);
    switch (VarType) {
    case VT_EMPTY:
    case VT_BSTR:
        return OleVariant(std::string_view(Text));
    case VT_I1:
        V.cVal = ParseInteger<std::int8_t>(Text, VarType);
        break;
    case VT_I2:
        V.iVal = ParseInteger<std::int16_t>(Text, VarType);
        break;
    case VT_I4:
    case VT_INT:
        V.lVal = ParseInteger<std::int32_t>(Text, VarType);
        break;
    case VT_I8:
        V.llVal = ParseInteger<std::int64_t>(Text, VarType);
        break;
    case VT_UI1:
        V.bVal = ParseInteger<std::uint8_t>(Text, VarType);
        break;
    case VT_UI2:
        V.uiVal = ParseInteger<std::uint16_t>(Text, VarType);
        break;
    case VT_UI4:
    case VT_UINT:
        V.ulVal = ParseInteger<std::uint32_t>(Text, VarType);
        break;
    case VT_UI8:
        V.ullVal = ParseInteger<std::uint64_t>(Text, VarType);
        break;
    case VT_R4:
        V.fltVal = static_cast<float>(ParseReal(Text, VarType));
        break;
    case VT_R8:
        V.dblVal = ParseReal(Text, VarType);
        break;
    case VT_CY:
        V.cyVal.int64 = ParseCurrency(Text);
        break;
    case VT_BOOL:
        V.boolVal = ParseBoolean(Text) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case VT_DATE:
        V.date = ParseDate(Text);
        break;
    default:
        try {
            return OleVariant(std::string_view(Text)).ChangeType(static_cast<VARTYPE>(VarType));
        } catch (const Exception &) {
            Refuse(Text, "cannot be converted to the item's type " + TypeName(VarType));
        }
    }
    return OleVariant(V);
}

} // namespace

TCell ValueToCell(const OleVariant &Value) {
    if (!VarIsArray(Value))
        return ScalarToCell(Value);
    if (VarArrayDimCount(Value) != 1)
        return VarToAStr(Value);
    TCell Elements = TCell::array();
    for (int I = VarArrayLowBound(Value, 1); I <= VarArrayHighBound(Value, 1); ++I)
        Elements.push_back(ScalarToCell(VarArrayGet(Value, I)));
    return Elements;
}

TCell TimeToCell(TDateTime Time) {
    if (Time == 0)
        return nullptr;
    const int Offset = platform::CurrentUtcOffsetMinutes();
    const int Abs = Offset < 0 ? -Offset : Offset;
    return IsoText(Time) + (Offset < 0 ? "-" : "+") + TwoDigits(Abs / 60) + ":" +
           TwoDigits(Abs % 60);
}

std::string CellText(const TCell &Cell) {
    if (Cell.is_null())
        return {};
    if (Cell.is_string())
        return Cell.get<std::string>();
    if (Cell.is_array()) {
        std::string Text;
        for (std::size_t I = 0; I < Cell.size(); ++I)
            Text += (I ? ";" : "") + CellText(Cell[I]);
        return Text;
    }
    return Cell.dump();
}

std::string TypeName(std::int32_t VarType) {
    const std::int32_t Base = VarType & VT_TYPEMASK;
    std::string Name = Base < OPCADatatypeCount
                           ? std::string(OPCADatatypeCaption(static_cast<OPCADatatype>(Base)))
                           : std::to_string(Base);
    return (VarType & VT_ARRAY) ? Name + "[]" : Name;
}

std::string QualityName(std::int32_t Quality) {
    const std::int32_t Status = Quality & 0xC0;
    return Status == 0xC0 ? "good" : Status == 0x40 ? "uncertain" : "bad";
}

OleVariant TextToValue(const std::string &Text, std::int32_t VarType) {
    if (!(VarType & VT_ARRAY))
        return TextToScalar(Text, VarType);
    const std::int32_t Element = VarType & VT_TYPEMASK;
    // "1;2;3" and "1;2;3;" are the same three elements; "" is the empty array
    // and ";" one empty element.
    const std::string Body = Text.ends_with(';') ? Text.substr(0, Text.size() - 1) : Text;
    std::vector<std::string> Parts;
    for (std::size_t Start = 0; !Text.empty();) {
        const std::size_t Semi = Body.find(';', Start);
        Parts.push_back(Body.substr(Start, Semi - Start));
        if (Semi == std::string::npos)
            break;
        Start = Semi + 1;
    }
    OleVariant Result =
        VarArrayCreate(0, static_cast<int>(Parts.size()) - 1, static_cast<VARTYPE>(Element));
    for (std::size_t I = 0; I < Parts.size(); ++I) {
        try {
            VarArrayPut(Result, static_cast<int>(I), TextToScalar(Parts[I], Element));
        } catch (const EValueText &E) {
            throw EValueText("element " + std::to_string(I + 1) + " of '" + Text +
                             "': " + E.Message());
        }
    }
    return Result;
}

} // namespace vexo::cli
