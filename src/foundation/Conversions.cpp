//===- Conversions.cpp - server states, time stamps, values, data types ---===//
//
// This file implements the shared conversions of Conversions.h on top of the
// platform's time services and the framework's variant helpers.
//
//===----------------------------------------------------------------------===//
#include <vexo/foundation/Conversions.h>

#include <vexo/framework/SysUtils.h>
#include <vexo/platform/Time.h>

namespace vexo {

std::string ServerStateToStr(int State) {
    if (State < 1 || State > 5)
        return {};
    return std::string(OPCStateStr[static_cast<std::size_t>(State)]);
}

TDateTime FileTimeToDateTime(const FILETIME &FT) noexcept {
    // A half of 0 marks a time stamp the server never filled in.
    if (FT.dwLowDateTime == 0 || FT.dwHighDateTime == 0)
        return 0;
    FILETIME Local;
    if (!vexo::platform::FileTimeToLocalFileTime(&FT, &Local))
        return 0;
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
