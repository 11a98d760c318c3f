//===- Conversions.cpp - server states, time stamps, values, data types ---===//
//
// This file implements the shared conversions of Conversions.h on top of the
// platform's time services and the framework's variant helpers.
//
//===----------------------------------------------------------------------===//
#include <vexo/foundation/Conversions.h>

#include <array>
#include <cmath>
#include <cstdint>

#include <vexo/framework/SysUtils.h>
#include <vexo/platform/Time.h>

namespace vexo {

std::string ServerStateToStr(int State) {
    if (State < 1 || State > 5)
        return {};
    return std::string(OPCStateStr[static_cast<std::size_t>(State)]);
}

namespace {

constexpr std::uint64_t TicksPerSecond = 10'000'000;
constexpr std::uint64_t TicksPerDay = 86'400 * TicksPerSecond;
constexpr std::uint64_t MaxFileTime = 0x7FFFFFFFFFFFFFFFULL;

/// The conversion through the platform's calendar services: local time,
/// packed MS-DOS form, date value.
TDateTime FileTimeToDateTimeSlow(std::uint64_t Ticks, int Offset) noexcept {
    // A local time before 1601 or past the largest file time has no date.
    const long long Delta = static_cast<long long>(Offset) * 60 * TicksPerSecond;
    if (Delta < 0 && Ticks < static_cast<std::uint64_t>(-Delta))
        return 0;
    if (Delta > 0 && Ticks > MaxFileTime - static_cast<std::uint64_t>(Delta))
        return 0;
    const std::uint64_t LocalTicks = Ticks + static_cast<std::uint64_t>(Delta);
    const FILETIME Local{static_cast<DWORD>(LocalTicks), static_cast<DWORD>(LocalTicks >> 32)};
    // The packed MS-DOS form drops the milliseconds and the odd second, and
    // refuses local times outside 1980..2107.
    WORD Date = 0;
    WORD Time = 0;
    if (!vexo::platform::FileTimeToDosDateTime(&Local, &Date, &Time))
        return 0;
    // Dates from 2044 on set the top bit: build the word as unsigned first.
    const auto Packed = static_cast<std::uint32_t>(Date) << 16 | Time;
    try {
        return FileDateToDateTime(static_cast<int>(Packed));
    } catch (...) {
        return 0;
    }
}

/// The last local day (for one UTC offset) and minute that a thread converted
/// a time stamp in. Time stamps of one server batch almost always share
/// both, so the answer is the minute's value plus the even second's share,
/// summed exactly as the slow path sums them.
struct LocalDayWindow {
    int Offset = 0;
    bool Valid = false;
    std::uint64_t FirstTick = 0; ///< UTC ticks at which the local day begins
    TDateTime Day = 0;           ///< the local day's date value
    int Minute = -1;             ///< minute of the day whose value is cached
    TDateTime MinuteValue = 0;   ///< Day + hour / 24 + minute / 1440
};

thread_local LocalDayWindow Window;

/// sec / 86400.0 for the even seconds 0, 2 .. 58.
constexpr auto SecondShares = [] {
    std::array<double, 30> Shares{};
    for (unsigned I = 0; I < Shares.size(); ++I)
        Shares[I] = (I * 2) / 86400.0;
    return Shares;
}();

} // namespace

TDateTime FileTimeToDateTime(const FILETIME &FT) noexcept {
    // A half of 0 marks a time stamp the server never filled in.
    if (FT.dwLowDateTime == 0 || FT.dwHighDateTime == 0)
        return 0;
    // The offset is refreshed once a second at most, so a change of the
    // system's zone reaches the window within a second.
    return FileTimeToDateTime(FT, vexo::platform::CurrentUtcOffsetMinutes());
}

TDateTime FileTimeToDateTime(const FILETIME &FT, int Offset) noexcept {
    if (FT.dwLowDateTime == 0 || FT.dwHighDateTime == 0)
        return 0;
    const std::uint64_t Ticks = static_cast<std::uint64_t>(FT.dwHighDateTime) << 32 | FT.dwLowDateTime;
    LocalDayWindow &W = Window;
    const std::uint64_t InDay = Ticks - W.FirstTick; // wraps for earlier days
    if (!W.Valid || W.Offset != Offset || InDay >= TicksPerDay) {
        const TDateTime Result = FileTimeToDateTimeSlow(Ticks, Offset);
        W.Valid = false;
        if (Result == 0)
            return Result;
        const long long Delta = static_cast<long long>(Offset) * 60 * TicksPerSecond;
        const std::uint64_t LocalTicks = Ticks + static_cast<std::uint64_t>(Delta);
        W.FirstTick = LocalTicks / TicksPerDay * TicksPerDay - static_cast<std::uint64_t>(Delta);
        W.Day = std::floor(Result);
        W.Offset = Offset;
        W.Minute = -1;
        W.Valid = true;
        return Result;
    }
    const auto Seconds = static_cast<unsigned>(InDay / TicksPerSecond);
    const int Minute = static_cast<int>(Seconds / 60);
    if (Minute != W.Minute) {
        W.MinuteValue = W.Day + (Seconds / 3600) / 24.0 + (Seconds / 60 % 60) / 1440.0;
        W.Minute = Minute;
    }
    return W.MinuteValue + SecondShares[Seconds % 60 / 2];
}

std::string VarToAStr(const OleVariant &V) noexcept {
    // Any failure (an element without text, an index outside the array, a
    // second dimension, no memory) leaves the empty text.
    try {
        if (VarIsEmpty(V))
            return {};
        if (!VarIsArray(V))
            return VarToStr(V);
        const int High = VarArrayHighBound(V, 1);
        std::string Text;
        // A 64-bit counter cannot overflow even when High is the largest int.
        for (long long I = 0; I <= High; ++I) {
            Text += VarToStr(VarArrayGet(V, static_cast<int>(I)));
            Text += ';';
        }
        return Text;
    } catch (...) {
        return {};
    }
}

namespace {

constexpr std::array<std::string_view, OPCADatatypeCount> DatatypeNames{
    "vtEMPTY",   "vtNULL",        "vtI2",       "vtI4",    "vtR4",      "vtR8",      "vtCY",
    "vtDATE",    "vtBSTR",        "vtDISPATCH", "vtERROR", "vtBOOL",    "vtVARIANT", "vtUNKNOWN",
    "vtDECIMAL", "vtundef",       "vtI1",       "vtUI1",   "vtUI2",     "vtUI4",     "vtI8",
    "vtUI8",     "vtINT",         "vtUINT",     "vtVOID",  "vtHRESULT", "vtPTR",     "vtSAFEARRAY",
    "vtCARRAY",  "vtUSERDEFINED", "vtLPSTR",    "vtLPWSTR"};

} // namespace

std::string_view OPCADatatypeName(OPCADatatype T) {
    // An out-of-range value (a byte cast from elsewhere) has no name.
    if (T >= OPCADatatypeCount)
        return {};
    return DatatypeNames[T];
}

std::string_view OPCADatatypeCaption(OPCADatatype T) {
    std::string_view Name = OPCADatatypeName(T);
    return Name.empty() ? Name : Name.substr(2);
}

std::optional<OPCADatatype> OPCADatatypeFromName(std::string_view Name) {
    for (int I = 0; I < OPCADatatypeCount; ++I)
        if (SameText(DatatypeNames[static_cast<std::size_t>(I)], Name))
            return static_cast<OPCADatatype>(I);
    return std::nullopt;
}

} // namespace vexo
