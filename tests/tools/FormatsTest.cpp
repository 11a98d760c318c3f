//===- FormatsTest.cpp - vexo-opc's records, values and times -------------===//

#include "ToolFixture.h"

#include <limits>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>
#include <vexo/platform/Time.h>

#include "RecordWriter.h"
#include "ValueText.h"

namespace vexo::test {
namespace {

cli::TCliOptions WithFormat(cli::TOutputFormat Format) {
    cli::TCliOptions O;
    O.Format = Format;
    return O;
}

TEST(FormatsTest, AwkwardTextSurvivesCsvAndJsonAndKeepsTableRowsOnOneLine) {
    // Separators, quotes, line breaks, blanks and non-ASCII text read back unchanged.
    const std::vector<std::string> Texts = {"a,b", "say \"hi\"",  "two\nlines", " padded ",
                                            "",    "Füllstand ✓", "plain"};
    for (const cli::TOutputFormat Format :
         {cli::TOutputFormat::Csv, cli::TOutputFormat::Json, cli::TOutputFormat::Table}) {
        std::ostringstream Out;
        cli::TRecordWriter Writer(Out, WithFormat(Format), {"n", "text"});
        for (std::size_t I = 0; I < Texts.size(); ++I)
            Writer.Add({static_cast<int>(I), Texts[I]});
        Writer.Finish();
        if (Format == cli::TOutputFormat::Csv) {
            const auto Rows = ParseCsv(Out.str());
            ASSERT_EQ(Rows.size(), Texts.size() + 1) << Out.str();
            for (std::size_t I = 0; I < Texts.size(); ++I)
                EXPECT_EQ(Rows[I + 1], (std::vector<std::string>{std::to_string(I), Texts[I]}));
        } else if (Format == cli::TOutputFormat::Json) {
            const nlohmann::json Rows = nlohmann::json::parse(Out.str());
            for (std::size_t I = 0; I < Texts.size(); ++I)
                EXPECT_EQ(Rows[I]["text"], Texts[I]);
        } else {
            const auto Table = Lines(Out.str());
            ASSERT_EQ(Table.size(), Texts.size() + 1) << Out.str();
            EXPECT_EQ(Table[6], "5  Füllstand ✓") << "width counted in characters";
        }
    }
}

TEST(FormatsTest, TimeStampsCarryTheLocalOffsetAndDatesReadBackInAnyZone) {
    // Offsets east and west, milliseconds, Z and explicit offsets convert to the same local time.
    platform::SetUtcOffsetOverrideForTesting(-330);
    const TDateTime Local = EncodeDate(2024, 5, 6) + EncodeTime(7, 8, 9, 0);
    EXPECT_EQ(cli::TimeToCell(Local), "2024-05-06T07:08:09-05:30");
    EXPECT_EQ(cli::TimeToCell(0), nullptr);
    platform::SetUtcOffsetOverrideForTesting(120);
    EXPECT_EQ(cli::TimeToCell(Local), "2024-05-06T07:08:09+02:00");
    const auto Cell = [](const std::string &Text) {
        return cli::ValueToCell(cli::TextToValue(Text, VT_DATE));
    };
    EXPECT_EQ(Cell("2024-05-06T07:08:09"), "2024-05-06T07:08:09");
    EXPECT_EQ(Cell("2024-05-06 07:08"), "2024-05-06T07:08:00");
    EXPECT_EQ(Cell("2024-05-06T05:08:09Z"), "2024-05-06T07:08:09");
    EXPECT_EQ(Cell("2024-05-06T06:08:09.25+01:00"), "2024-05-06T07:08:09.250");
    EXPECT_EQ(Cell("2024-05-06"), "2024-05-06T00:00:00");
    platform::SetUtcOffsetOverrideForTesting(std::nullopt);
    for (const char *Bad : {"2024-13-01", "2024-05-06T25:00", "2024-05-06T07:08:09+1", "2024-5-6",
                            "2024-05-06T07:08:09 extra"})
        EXPECT_THROW(cli::TextToValue(Bad, VT_DATE), cli::EValueText) << Bad;
}

TEST(FormatsTest, NumbersConvertExactlyToTheEdgesOfTheirTypes) {
    // Each integer type takes its extremes and refuses one beyond; currency keeps four places.
    const std::vector<std::tuple<VARTYPE, std::string, std::string>> Edges = {
        {VT_I1, "-128", "128"},
        {VT_UI1, "255", "256"},
        {VT_I2, "-32768", "32768"},
        {VT_UI4, "4294967295", "4294967296"},
        {VT_I8, "-9223372036854775808", "9223372036854775808"},
        {VT_UI8, "18446744073709551615", "18446744073709551616"},
        {VT_CY, "-922337203685477.5808", "922337203685477.5808"},
    };
    for (const auto &[Type, Fits, Beyond] : Edges) {
        SCOPED_TRACE(cli::TypeName(Type));
        const OleVariant Value = cli::TextToValue(Fits, Type);
        if (Type == VT_CY)
            EXPECT_EQ(Value.Var().cyVal.int64, std::numeric_limits<std::int64_t>::min());
        else
            EXPECT_EQ(cli::CellText(cli::ValueToCell(Value)), Fits);
        EXPECT_THROW(cli::TextToValue(Beyond, Type), cli::EValueText);
    }
    EXPECT_EQ(cli::TextToValue("+7", VT_I4).Var().lVal, 7);
    EXPECT_EQ(cli::TextToValue("-0.0001", VT_CY).Var().cyVal.int64, -1);
    EXPECT_EQ(cli::ValueToCell(cli::TextToValue("0.1", VT_R4)), 0.1) << "the float's own digits";
    EXPECT_EQ(cli::ValueToCell(cli::TextToValue("", VT_ARRAY | VT_I4)), nlohmann::json::array());
    EXPECT_EQ(cli::ValueToCell(cli::TextToValue("a;;b;", VT_ARRAY | VT_BSTR)),
              nlohmann::json::array({"a", "", "b"}));
    EXPECT_EQ(cli::TypeName(VT_ARRAY | VT_R8), "R8[]");
}

} // namespace
} // namespace vexo::test
