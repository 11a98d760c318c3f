//===- ConversionsTest.cpp - server states, time stamps, values, types ----===//
#include <cstdint>
#include <set>

#include <gtest/gtest.h>

#include <vexo/foundation/Conversions.h>
#include <vexo/framework/DateUtils.h>
#include <vexo/platform/Time.h>

using namespace vexo;

namespace {

// A UTC time stamp for a calendar time.
FILETIME Utc(int Y, int Mo, int D, int H, int Mi, int S, int Ms = 0) {
    SYSTEMTIME St{static_cast<WORD>(Y), static_cast<WORD>(Mo), 0,
                  static_cast<WORD>(D), static_cast<WORD>(H),  static_cast<WORD>(Mi),
                  static_cast<WORD>(S), static_cast<WORD>(Ms)};
    FILETIME Ft{};
    EXPECT_TRUE(vexo::platform::SystemTimeToFileTime(&St, &Ft));
    return Ft;
}

FILETIME AddTicks(FILETIME Ft, long long Ticks) {
    auto V = (static_cast<unsigned long long>(Ft.dwHighDateTime) << 32 | Ft.dwLowDateTime) +
             static_cast<unsigned long long>(Ticks);
    return {static_cast<DWORD>(V), static_cast<DWORD>(V >> 32)};
}

TDateTime At(int Y, int Mo, int D, int H, int Mi, int S) {
    return EncodeDate(Y, Mo, D) + EncodeTime(H, Mi, S, 0);
}

// Pins the local offset for one test so results do not depend on the machine.
class LocalOffset {
  public:
    explicit LocalOffset(int Minutes) { vexo::platform::SetUtcOffsetOverrideForTesting(Minutes); }
    ~LocalOffset() { vexo::platform::SetUtcOffsetOverrideForTesting(std::nullopt); }
};

OleVariant IntArray(int Low, std::initializer_list<int> Values) {
    OleVariant A = VarArrayCreate(Low, Low + static_cast<int>(Values.size()) - 1, VT_I4);
    int I = Low;
    for (int V : Values)
        VarArrayPut(A, I++, OleVariant(V));
    return A;
}

} // namespace

// Only the five defined states have a text; 0 and anything above 5 give "".
TEST(Conversions, ServerStateToStrNamesDefinedStatesOnly) {
    EXPECT_EQ(ServerStateToStr(0), "");
    EXPECT_EQ(ServerStateToStr(6), "");
    EXPECT_EQ(ServerStateToStr(-1), "");
    EXPECT_EQ(ServerStateToStr(1), "running");
    EXPECT_EQ(ServerStateToStr(3), "no config");
    EXPECT_EQ(ServerStateToStr(5), "test");
    for (std::string_view S : OPCStateStr)
        EXPECT_LE(S.size(), 10u);
}

// A time stamp with either half 0 counts as no time at all.
TEST(Conversions, FileTimeWithAZeroHalfGivesZero) {
    LocalOffset Utc0(0);
    const FILETIME Real = Utc(2021, 3, 4, 5, 6, 7);
    EXPECT_EQ(FileTimeToDateTime(FILETIME{0, 0}), 0.0);
    EXPECT_EQ(FileTimeToDateTime(FILETIME{0, Real.dwHighDateTime}), 0.0);
    EXPECT_EQ(FileTimeToDateTime(FILETIME{Real.dwLowDateTime, 0}), 0.0);
}

// The result is the local calendar time, cut to the even second below.
TEST(Conversions, FileTimeTruncatesToEvenSecond) {
    LocalOffset Utc0(0);
    const FILETIME Noon = Utc(2021, 6, 15, 12, 0, 0);
    const TDateTime Expected = At(2021, 6, 15, 12, 0, 0);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Noon), Expected);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(2021, 6, 15, 12, 0, 1, 900)), Expected);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(AddTicks(Noon, 19'999'999)), Expected);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(AddTicks(Noon, 20'000'000)), At(2021, 6, 15, 12, 0, 2));
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(2021, 6, 15, 23, 59, 59, 999)),
                     At(2021, 6, 15, 23, 59, 58));
}

// The UTC time stamp is shifted by the local offset before it is packed.
TEST(Conversions, FileTimeIsShiftedToLocalTime) {
    {
        LocalOffset East(120);
        EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(2020, 12, 31, 23, 30, 10)),
                         At(2021, 1, 1, 1, 30, 10));
    }
    {
        LocalOffset West(-300);
        EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(2020, 3, 1, 2, 0, 0)), At(2020, 2, 29, 21, 0, 0));
    }
}

// Consecutive stamps give exactly what the calendar path gives, across
// minute, day and range boundaries, and an offset change applies at once.
TEST(Conversions, FileTimeRunsMatchTheCalendarPathAndFollowTheOffset) {
    auto Calendar = [](const FILETIME &Ft) -> TDateTime {
        FILETIME Local;
        WORD Date = 0, Time = 0;
        if (!vexo::platform::FileTimeToLocalFileTime(&Ft, &Local) ||
            !vexo::platform::FileTimeToDosDateTime(&Local, &Date, &Time))
            return 0;
        return FileDateToDateTime(static_cast<int>(static_cast<std::uint32_t>(Date) << 16 | Time));
    };
    for (int Offset : {0, 90, -300, 840}) {
        LocalOffset Pinned(Offset);
        // 1.3 s apart through two local midnights, then the edges of the range.
        FILETIME Ft = Utc(2021, 6, 14, 20, 0, 0);
        for (int I = 0; I < 150'000; ++I) {
            Ft = AddTicks(Ft, 13'000'000);
            ASSERT_EQ(FileTimeToDateTime(Ft), Calendar(Ft)) << "offset " << Offset << " step " << I;
        }
        for (FILETIME Edge : {Utc(1980, 1, 1, 0, 0, 0), Utc(2107, 12, 31, 23, 59, 59),
                              Utc(2108, 1, 1, 12, 0, 0), Utc(1979, 12, 31, 12, 0, 0),
                              Utc(2044, 1, 1, 0, 0, 0)})
            for (int Step = -3; Step <= 3; ++Step) {
                const FILETIME Near = AddTicks(Edge, Step * 3600LL * 10'000'000);
                ASSERT_EQ(FileTimeToDateTime(Near), Calendar(Near)) << "offset " << Offset;
            }
    }
    const FILETIME Noon = Utc(2021, 6, 15, 12, 0, 0);
    LocalOffset Utc0(0);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Noon), At(2021, 6, 15, 12, 0, 0));
    vexo::platform::SetUtcOffsetOverrideForTesting(60);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Noon), At(2021, 6, 15, 13, 0, 0));
}

// A batch's offset, passed in, converts as that zone would, even when the
// stamps before it used another offset, and near the ends of the file times.
TEST(Conversions, FileTimeWithAGivenOffsetMatchesThatZone) {
    const int Offsets[] = {0, 90, -300, 840};
    const FILETIME Stamps[] = {Utc(2021, 6, 14, 23, 59, 59), Utc(2021, 6, 15, 0, 0, 1),
                               Utc(1980, 1, 1, 0, 30, 0),    Utc(2107, 12, 31, 23, 0, 0),
                               FILETIME{1, 1},               FILETIME{0xFFFFFFFF, 0x7FFFFFFF}};
    TDateTime Expected[4][6];
    for (int O = 0; O < 4; ++O) {
        LocalOffset Pinned(Offsets[O]);
        for (int S = 0; S < 6; ++S)
            Expected[O][S] = FileTimeToDateTime(Stamps[S]);
    }
    LocalOffset Elsewhere(-60);
    for (int Round = 0; Round < 2; ++Round)
        for (int S = 0; S < 6; ++S)
            for (int O = 0; O < 4; ++O)
                EXPECT_EQ(FileTimeToDateTime(Stamps[S], Offsets[O]), Expected[O][S])
                    << "stamp " << S << " offset " << Offsets[O];
    EXPECT_EQ(Expected[0][4], 0.0);
    EXPECT_EQ(Expected[3][5], 0.0);
}

// Local times outside 1980..2107 give 0; the limits themselves convert.
TEST(Conversions, FileTimeOutsidePackedRangeGivesZero) {
    LocalOffset Utc0(0);
    EXPECT_EQ(FileTimeToDateTime(Utc(1970, 1, 1, 0, 0, 0, 1)), 0.0);
    EXPECT_EQ(FileTimeToDateTime(Utc(1979, 12, 31, 23, 59, 59)), 0.0);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(1980, 1, 1, 0, 0, 0)), At(1980, 1, 1, 0, 0, 0));
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(2107, 12, 31, 23, 59, 59)),
                     At(2107, 12, 31, 23, 59, 58));
    EXPECT_EQ(FileTimeToDateTime(Utc(2108, 1, 1, 0, 0, 0)), 0.0);
    EXPECT_EQ(FileTimeToDateTime(FILETIME{0xFFFFFFFF, 0xFFFFFFFF}), 0.0);
}

// The range is judged in local time: 1980 UTC that is 1979 locally gives 0.
TEST(Conversions, FileTimeRangeIsJudgedInLocalTime) {
    LocalOffset West(-60);
    EXPECT_EQ(FileTimeToDateTime(Utc(1980, 1, 1, 0, 30, 0)), 0.0);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(1980, 1, 1, 1, 30, 0)), At(1980, 1, 1, 0, 30, 0));
}

// Dates from 2044 on, whose packed date word has its top bit set, still convert.
TEST(Conversions, FileTimeAfter2043Converts) {
    LocalOffset Utc0(0);
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(2044, 1, 1, 0, 0, 0)), At(2044, 1, 1, 0, 0, 0));
    EXPECT_DOUBLE_EQ(FileTimeToDateTime(Utc(2099, 7, 15, 8, 30, 45)), At(2099, 7, 15, 8, 30, 44));
}

// Empty, Null and scalar values render as the variant's text.
TEST(Conversions, VarToAStrRendersScalars) {
    EXPECT_EQ(VarToAStr(OleVariant()), "");
    EXPECT_EQ(VarToAStr(OleVariant::Null()), "");
    EXPECT_EQ(VarToAStr(OleVariant("abc")), "abc");
    EXPECT_EQ(VarToAStr(OleVariant(-42)), "-42");
    EXPECT_EQ(VarToAStr(OleVariant(true)), VarToStr(OleVariant(true)));
}

// A zero-based array lists every element followed by ";".
TEST(Conversions, VarToAStrJoinsZeroBasedArray) {
    EXPECT_EQ(VarToAStr(IntArray(0, {1, 2, 3})), "1;2;3;");
    EXPECT_EQ(VarToAStr(IntArray(0, {7})), "7;");

    OleVariant Mixed = VarArrayCreate(0, 2, VT_VARIANT);
    VarArrayPut(Mixed, 0, OleVariant("x"));
    VarArrayPut(Mixed, 1, OleVariant::Null());
    VarArrayPut(Mixed, 2, OleVariant(2.5));
    EXPECT_EQ(VarToAStr(Mixed), "x;;" + VarToStr(OleVariant(2.5)) + ";");
}

// Arrays the text form cannot hold give "" and never raise.
TEST(Conversions, VarToAStrGivesEmptyForUnrenderableArrays) {
    EXPECT_EQ(VarToAStr(IntArray(1, {1, 2, 3})), "");
    EXPECT_EQ(VarToAStr(VarArrayCreate(0, -1, VT_I4)), "");

    SAFEARRAYBOUND Bounds[2] = {{2, 0}, {2, 0}};
    VARIANT Raw;
    vexo::platform::VariantInit(&Raw);
    Raw.vt = VT_ARRAY | VT_I4;
    Raw.parray = vexo::platform::SafeArrayCreate(VT_I4, 2, Bounds);
    ASSERT_NE(Raw.parray, nullptr);
    EXPECT_EQ(VarToAStr(OleVariant::Attach(Raw)), "");

    // An element that is itself an array has no text: the whole value gives "".
    OleVariant Nested = VarArrayCreate(0, 1, VT_VARIANT);
    VarArrayPut(Nested, 0, OleVariant(1));
    VarArrayPut(Nested, 1, IntArray(0, {2}));
    EXPECT_EQ(VarToAStr(Nested), "");

    // An array of variants that claims to hold integers is refused, not read
    // with the wrong element size.
    VARIANT Lying;
    vexo::platform::VariantInit(&Lying);
    Lying.vt = VT_ARRAY | VT_I4;
    Lying.parray = vexo::platform::SafeArrayCreateVector(VT_VARIANT, 0, 2);
    EXPECT_EQ(VarToAStr(OleVariant::Attach(Lying)), "");
}

// Each data type's ordinal is the VARTYPE of the same code.
TEST(Conversions, DatatypeOrdinalIsVarType) {
    EXPECT_EQ(OPCADatatypeToVarType(vtEMPTY), VT_EMPTY);
    EXPECT_EQ(OPCADatatypeToVarType(vtDECIMAL), VT_DECIMAL);
    EXPECT_EQ(static_cast<int>(vtundef), 15);
    EXPECT_EQ(OPCADatatypeToVarType(vtI1), VT_I1);
    EXPECT_EQ(OPCADatatypeToVarType(vtUINT), VT_UINT);
    EXPECT_EQ(OPCADatatypeToVarType(vtLPWSTR), VT_LPWSTR);
}

// All 32 names are distinct, round-trip, and read back ignoring letter case.
TEST(Conversions, DatatypeNamesRoundTrip) {
    std::set<std::string_view> Seen;
    for (int I = 0; I < OPCADatatypeCount; ++I) {
        const auto T = static_cast<OPCADatatype>(I);
        const std::string_view Name = OPCADatatypeName(T);
        ASSERT_EQ(Name.substr(0, 2), "vt") << I;
        EXPECT_TRUE(Seen.insert(Name).second) << Name;
        EXPECT_EQ(OPCADatatypeFromName(Name), T) << Name;
        EXPECT_EQ(OPCADatatypeCaption(T), Name.substr(2));
    }
    EXPECT_EQ(OPCADatatypeName(vtundef), "vtundef");
    EXPECT_EQ(OPCADatatypeCaption(vtEMPTY), "EMPTY");
    EXPECT_EQ(OPCADatatypeFromName("VTBSTR"), vtBSTR);
    EXPECT_EQ(OPCADatatypeFromName("vtFOO"), std::nullopt);
    EXPECT_EQ(OPCADatatypeFromName(""), std::nullopt);
    EXPECT_EQ(OPCADatatypeName(static_cast<OPCADatatype>(32)), "");
}
