//===- Conversions.h - server states, time stamps, values and data types --===//
//
// This file declares the small conversions every component shares: the text of
// a server state, an OPC time stamp (UTC FILETIME) as a local TDateTime, any
// item value as one line of text, and OPCADatatype, the data type a user picks,
// whose ordinal is the VARTYPE sent to servers.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <vexo/framework/DateUtils.h>
#include <vexo/framework/Variants.h>
#include <vexo/platform/ComBase.h>

namespace vexo {

/// Texts of the server states, indexed by OPCSERVERSTATE; index 0 is never
/// produced by ServerStateToStr. Each text has at most 10 characters.
inline constexpr std::array<std::string_view, 6> OPCStateStr{"none",      "running",   "failed",
                                                             "no config", "suspended", "test"};

/// OPCStateStr[State] for 1..5, "" for every other value. Never raises.
std::string ServerStateToStr(int State);

/// Local time of a UTC time stamp, truncated to the even second below; 0 when
/// either half of FT is 0 or the local time lies outside 1980..2107. Never
/// raises; any thread.
TDateTime FileTimeToDateTime(const FILETIME &FT) noexcept;
/// The same for a local time UtcOffsetMinutes ahead of UTC. A batch of time
/// stamps reads platform::CurrentUtcOffsetMinutes() once and passes it to
/// each conversion.
TDateTime FileTimeToDateTime(const FILETIME &FT, int UtcOffsetMinutes) noexcept;

/// One line of text for a value: "" for unassigned and Null values, the
/// variant's text for scalars, "e0;e1;...;" for a one-dimensional array
/// indexed from 0. Arrays with another low bound or more dimensions, and
/// elements without a text form, give "". Never raises.
std::string VarToAStr(const OleVariant &V) noexcept;

/// A data type a user can request; the ordinal is the VARTYPE code (no flags).
enum OPCADatatype : std::uint8_t {
    vtEMPTY,
    vtNULL,
    vtI2,
    vtI4,
    vtR4,
    vtR8,
    vtCY,
    vtDATE,
    vtBSTR,
    vtDISPATCH,
    vtERROR,
    vtBOOL,
    vtVARIANT,
    vtUNKNOWN,
    vtDECIMAL,
    vtundef, ///< code 15, which has no VARTYPE of its own
    vtI1,
    vtUI1,
    vtUI2,
    vtUI4,
    vtI8,
    vtUI8,
    vtINT,
    vtUINT,
    vtVOID,
    vtHRESULT,
    vtPTR,
    vtSAFEARRAY,
    vtCARRAY,
    vtUSERDEFINED,
    vtLPSTR,
    vtLPWSTR
};
static_assert(sizeof(OPCADatatype) == 1);

/// Number of OPCADatatype values (ordinals 0..31).
constexpr int OPCADatatypeCount = 32;

/// The VARTYPE sent to servers: the ordinal, zero-extended.
constexpr VARTYPE OPCADatatypeToVarType(OPCADatatype T) { return static_cast<VARTYPE>(T); }

/// The identifier of T as written in streams ("vtI4", "vtundef").
std::string_view OPCADatatypeName(OPCADatatype T);
/// The name without its "vt" prefix, as dialogs list it ("I4", "undef").
std::string_view OPCADatatypeCaption(OPCADatatype T);
/// The value whose identifier is Name (letter case ignored); nullopt when none.
std::optional<OPCADatatype> OPCADatatypeFromName(std::string_view Name);

} // namespace vexo
