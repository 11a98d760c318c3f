//===- ItemCommandsTest.cpp - read, write and watch -----------------------===//

#include "ToolFixture.h"

#include <atomic>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <thread>

#include <nlohmann/json.hpp>

#include <vexo/framework/DateUtils.h>

namespace vexo::test {
namespace {

using ItemCommandsTest = ToolTest;
using Json = nlohmann::ordered_json;

constexpr const char *DA10 = "Vexo.Simulation.DA10.1";

const std::vector<std::string> ReadColumns = {"item",    "value",        "type",
                                              "quality", "quality_code", "timestamp"};

/// True for "2024-05-06T07:08:09+02:00" (seconds, then the offset).
bool IsIsoWithOffset(const std::string &Text) {
    if (Text.size() != 25 || Text[10] != 'T' || (Text[19] != '+' && Text[19] != '-'))
        return false;
    for (std::size_t I : {4u, 7u})
        if (Text[I] != '-')
            return false;
    return Text[13] == ':' && Text[16] == ':' && Text[22] == ':';
}

TEST_F(ItemCommandsTest, ReadGivesTheSameValuesInEveryFormat) {
    // Table, CSV (parsed back) and JSON (parsed back) carry the same typed values and columns.
    const std::vector<std::string> Ids = {
        "Simulation.Constant.Int4",    "Simulation.Constant.Real8", "Simulation.Constant.String",
        "Simulation.Constant.Boolean", "Simulation.Constant.Time",  "Simulation.Constant.Money",
        "Simulation.Quality.Uncertain"};
    std::vector<std::string> Args = {"read"};
    Args.insert(Args.end(), Ids.begin(), Ids.end());

    std::vector<std::string> JsonArgs = Args, CsvArgs = Args, ValueArgs = Args;
    JsonArgs.insert(JsonArgs.end(), {"--format", "json"});
    CsvArgs.insert(CsvArgs.end(), {"-f", "csv"});
    ValueArgs.insert(ValueArgs.end(), {"--value"});
    const TToolRun J = Run(JsonArgs), C = Run(CsvArgs), T = Run(Args), V = Run(ValueArgs);
    for (const TToolRun *R : {&J, &C, &T, &V}) {
        ASSERT_EQ(R->Code, cli::ExitSuccess) << R->Err;
        EXPECT_TRUE(R->Err.empty()) << R->Err;
    }

    const Json Parsed = Json::parse(J.Out);
    ASSERT_TRUE(Parsed.is_array());
    ASSERT_EQ(Parsed.size(), Ids.size());
    EXPECT_EQ(Parsed[0]["value"], 42);
    EXPECT_EQ(Parsed[1]["value"], 3.25);
    EXPECT_EQ(Parsed[2]["value"], "42");
    EXPECT_EQ(Parsed[3]["value"], true);
    EXPECT_EQ(Parsed[4]["value"], "2000-01-01T12:00:00");
    EXPECT_EQ(Parsed[5]["value"], 12.3456);
    EXPECT_EQ(Parsed[5]["type"], "CY");
    EXPECT_EQ(Parsed[6]["quality"], "uncertain");
    EXPECT_EQ(Parsed[6]["quality_code"], 0x54);

    const auto Rows = ParseCsv(C.Out);
    ASSERT_EQ(Rows.size(), Ids.size() + 1) << C.Out;
    EXPECT_EQ(Rows[0], ReadColumns);
    const auto Table = Lines(T.Out);
    ASSERT_EQ(Table.size(), Ids.size() + 1) << T.Out;
    const std::size_t ValueAt = Table[0].find("value"), TypeAt = Table[0].find("type");
    const auto ValueLines = Lines(V.Out);
    ASSERT_EQ(ValueLines.size(), Ids.size()) << V.Out;
    for (std::size_t I = 0; I < Ids.size(); ++I) {
        SCOPED_TRACE(Ids[I]);
        const Json &Object = Parsed[I];
        std::vector<std::string> Keys;
        for (const auto &[Key, Value] : Object.items())
            Keys.push_back(Key);
        EXPECT_EQ(Keys, ReadColumns) << "columns in their order";
        const std::string ValueText = Object["value"].is_string()
                                          ? Object["value"].get<std::string>()
                                          : Object["value"].dump();
        EXPECT_EQ(Rows[I + 1][0], Ids[I]);
        EXPECT_EQ(Rows[I + 1][1], ValueText);
        EXPECT_EQ(Rows[I + 1][2], Object["type"]);
        EXPECT_EQ(Rows[I + 1][4], std::to_string(Object["quality_code"].get<int>()));
        EXPECT_TRUE(IsIsoWithOffset(Object["timestamp"])) << Object["timestamp"];
        EXPECT_TRUE(IsIsoWithOffset(Rows[I + 1][5])) << Rows[I + 1][5];
        // The table's columns line up under their headings.
        EXPECT_EQ(Table[I + 1].substr(ValueAt, ValueText.size()), ValueText) << Table[I + 1];
        EXPECT_EQ(Table[I + 1].substr(TypeAt, Rows[I + 1][2].size()), Rows[I + 1][2]);
        EXPECT_EQ(ValueLines[I], ValueText);
    }
}

TEST_F(ItemCommandsTest, ReadReportsEachRefusedItemAndExitsPartialOrFailed) {
    // Unknown and write-only items fail alone (exit 3 beside good ones, 1 when all fail).
    TToolRun R = Run({"read", "Simulation.Constant.Int4", "Simulation.Unknown",
                      "Simulation.Quality.Bad", "Simulation.WriteOnly.Int4", "-f", "csv"});
    EXPECT_EQ(R.Code, cli::ExitPartial);
    const auto Rows = ParseCsv(R.Out);
    ASSERT_EQ(Rows.size(), 3u) << R.Out;
    EXPECT_EQ(Rows[1][0], "Simulation.Constant.Int4");
    EXPECT_EQ(Rows[2][3], "bad");
    EXPECT_EQ(Rows[2][4], "24");
    EXPECT_EQ(Lines(R.Err),
              (std::vector<std::string>{
                  "vexo-opc: Simulation.Unknown: The item is no longer available in the server "
                  "address space. (0xC0040007)",
                  "vexo-opc: Simulation.WriteOnly.Int4: The Items AccessRights do not allow the "
                  "operation. (0xC0040006)"}));

    R = Run({"read", "Simulation.Unknown", "-f", "json"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_EQ(Json::parse(R.Out), Json::array());
}

TEST_F(ItemCommandsTest, ReadFromDeviceAndFromTheDA10Server) {
    // Device and cache reads of both servers succeed with exit 0 and nothing on err.
    for (const std::vector<std::string> &Args :
         {std::vector<std::string>{"read", "--device", "Simulation.Ramp.Int4", "-v"},
          {"read", "--server", DA10, "Simulation.Ramp.Int4", "-v"},
          {"read", "-s", DA10, "-d", "Simulation.Ramp.Int4", "-v"}}) {
        const TToolRun R = Run(Args);
        EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        EXPECT_TRUE(R.Err.empty());
        ASSERT_EQ(Lines(R.Out).size(), 1u) << R.Out;
        EXPECT_NO_THROW((void)std::stoi(R.Out)) << R.Out;
    }
}

TEST_F(ItemCommandsTest, ReadsShowTheServersCurrentValues) {
    // A changing item read a second apart shows two good values that differ (the
    // server keeps its cache current); a time item reads as the time now.
    const auto Read = [&](const char *Item) {
        const TToolRun R = Run({"read", Item, "-f", "json"});
        EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        const Json Rows = Json::parse(R.Out);
        EXPECT_EQ(Rows.size(), 1u) << R.Out;
        EXPECT_EQ(Rows[0]["quality"], "good") << R.Out;
        return Rows[0]["value"];
    };
    const Json First = Read("Simulation.Ramp.Int4");
    const auto Later = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    Application->ProcessMessagesUntil([&] { return std::chrono::steady_clock::now() >= Later; },
                                      std::chrono::seconds(5));
    EXPECT_NE(First, Read("Simulation.Ramp.Int4"));

    const std::string Shown = Read("Simulation.Ramp.Time").get<std::string>();
    int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0;
    ASSERT_EQ(std::sscanf(Shown.c_str(), "%d-%d-%dT%d:%d:%d", &Y, &Mo, &D, &H, &Mi, &S), 6)
        << Shown;
    const TDateTime Value = EncodeDate(Y, Mo, D) + EncodeTime(H, Mi, S, 0);
    EXPECT_LT(std::fabs(Value - Now()) * 86400.0, 2.5) << Shown;
}

TEST_F(ItemCommandsTest, WriteConvertsToEachItemsTypeAndShowsWhatReadsBack) {
    // Text becomes each item's type (arrays split at ';', ISO dates); JSON shows sent and read
    // values.
    const TToolRun R =
        Run({"write", "Simulation.Bucket.Int4=-42", "Simulation.Bucket.String=a=b, \"c\"",
             "Simulation.Bucket.Boolean=true", "Simulation.Bucket.Real8=2.5",
             "Simulation.Bucket.Time=2024-05-06T07:08:09", "Simulation.Bucket.Int4Array=1;2;3",
             "Simulation.Bucket.Money=-12.5", "Simulation.Bucket.UInt8=18446744073709551615",
             "Simulation.Line 1.Setpoint=150", "Simulation.WriteOnly.Int4=7", "-f", "json"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    const Json Rows = Json::parse(R.Out);
    ASSERT_EQ(Rows.size(), 10u) << R.Out;
    const std::vector<std::pair<Json, Json>> Expected = {
        {-42, -42},
        {"a=b, \"c\"", "a=b, \"c\""},
        {true, true},
        {2.5, 2.5},
        {"2024-05-06T07:08:09", "2024-05-06T07:08:09"},
        {Json::array({1, 2, 3}), Json::array({1, 2, 3})},
        {-12.5, -12.5},
        {18446744073709551615ull, 18446744073709551615ull},
        {150.0, 100.0}, // the server clamps
        {7, nullptr},   // write-only: nothing reads back
    };
    for (std::size_t I = 0; I < Expected.size(); ++I) {
        SCOPED_TRACE(Rows[I]["item"].get<std::string>());
        EXPECT_EQ(Rows[I]["written"], Expected[I].first);
        EXPECT_EQ(Rows[I]["value"], Expected[I].second);
    }
    EXPECT_EQ(Rows[9]["quality"], nullptr);
    EXPECT_EQ(Rows[0]["quality"], "good");
}

TEST_F(ItemCommandsTest, WriteNamesTheItemTheTextAndTheTypeForEveryRefusedValue) {
    // Out-of-range and malformed text, read-only and unknown items fail; the rest is written.
    const TToolRun R = Run({"write", "Simulation.Bucket.Int1=1000", "Simulation.Bucket.Real8=abc",
                            "Simulation.Bucket.UInt2=-1", "Simulation.Bucket.Money=1.23456",
                            "Simulation.Bucket.Boolean=maybe", "Simulation.Bucket.Time=06.05.2024",
                            "Simulation.Bucket.Int4Array=1;x;3", "Simulation.Bucket.Real4=1e39",
                            "Simulation.ReadOnly.Int4=1", "Simulation.Unknown=1",
                            "Simulation.Bucket.UInt2=65535", "--format", "csv"});
    EXPECT_EQ(R.Code, cli::ExitPartial);
    const auto Rows = ParseCsv(R.Out);
    ASSERT_EQ(Rows.size(), 2u) << R.Out;
    EXPECT_EQ(Rows[1], (std::vector<std::string>{"Simulation.Bucket.UInt2", "65535", "65535",
                                                 "good", Rows[1][4]}));
    EXPECT_EQ(Lines(R.Err),
              (std::vector<std::string>{
                  "vexo-opc: Simulation.Bucket.Int1: '1000' is out of range for I1 (-128..127)",
                  "vexo-opc: Simulation.Bucket.Real8: 'abc' is not a number (the item's type is "
                  "R8)",
                  "vexo-opc: Simulation.Bucket.UInt2: '-1' is not a whole number (the item's "
                  "type is UI2)",
                  "vexo-opc: Simulation.Bucket.Money: '1.23456' is not an amount with at most 4 "
                  "decimals (the item's type is CY)",
                  "vexo-opc: Simulation.Bucket.Boolean: 'maybe' is not true or false (the item's "
                  "type is BOOL)",
                  "vexo-opc: Simulation.Bucket.Time: '06.05.2024' is not a date and time like "
                  "2024-05-06T07:08:09 (the item's type is DATE)",
                  "vexo-opc: Simulation.Bucket.Int4Array: element 2 of '1;x;3': 'x' is not a "
                  "whole number (the item's type is I4)",
                  "vexo-opc: Simulation.Bucket.Real4: '1e39' is out of range for R4",
                  "vexo-opc: Simulation.ReadOnly.Int4: The Items AccessRights do not allow the "
                  "operation. (0xC0040006)",
                  "vexo-opc: Simulation.Unknown: The item is no longer available in the server "
                  "address space. (0xC0040007)"}));
    EXPECT_EQ(Run({"write", "Simulation.Bucket.Int1=128"}).Code, cli::ExitFailure);
}

TEST_F(ItemCommandsTest, WatchWritesOneFlushedRecordPerChangeInEachFormat) {
    // JSON lines and CSV rows, exactly K of them, through data callbacks and DA 1.0 streams.
    for (const char *Server : {"Vexo.Simulation.1", DA10}) {
        SCOPED_TRACE(Server);
        // --seconds only bounds the test should --count be ignored.
        TToolRun R =
            Run({"watch", "Simulation.Ramp.Int4", "Simulation.Sine.Real8", "--server", Server,
                 "--rate", "100", "--count", "5", "--seconds", "60", "-f", "json"});
        EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        const auto Records = Lines(R.Out);
        ASSERT_EQ(Records.size(), 5u) << R.Out;
        for (const std::string &Line : Records) {
            const Json Object = Json::parse(Line);
            EXPECT_TRUE(Object["item"] == "Simulation.Ramp.Int4" ||
                        Object["item"] == "Simulation.Sine.Real8")
                << Line;
            EXPECT_TRUE(Object["value"].is_number()) << Line;
            EXPECT_TRUE(IsIsoWithOffset(Object["timestamp"])) << Line;
        }
        R = Run({"watch", "Simulation.Ramp.Int4", "-s", Server, "-r", "100", "-n", "3", "-t", "60",
                 "-f", "csv"});
        EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        const auto Rows = ParseCsv(R.Out);
        ASSERT_EQ(Rows.size(), 4u) << R.Out;
        EXPECT_EQ(Rows[0], ReadColumns);
    }
}

TEST_F(ItemCommandsTest, WatchEndsOnStopRequestOrAtOnceWithoutItems) {
    // A watch without limits ends when stopped from another thread; only refused items end it at
    // once, and a refused item beside a good one is a partial failure.
    std::atomic<bool> Finished{false};
    std::thread Stopper([&] {
        while (!Finished) { // repeated: the run clears a request made before it started
            cli::RequestStop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const TToolRun Stopped = Run({"watch", "Simulation.Constant.Int4"});
    const TToolRun Partial = Run({"watch", "Simulation.Constant.Int4", "Simulation.Unknown"});
    Finished = true;
    Stopper.join();
    EXPECT_EQ(Stopped.Code, cli::ExitSuccess) << Stopped.Err;
    EXPECT_TRUE(Stopped.Out.empty() || Stopped.Out.starts_with("item ")) << Stopped.Out;
    EXPECT_EQ(Partial.Code, cli::ExitPartial) << Partial.Err;

    const TToolRun Refused = Run({"watch", "Simulation.Unknown"});
    EXPECT_EQ(Refused.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(Refused.Err, "Simulation.Unknown: ")) << Refused.Err;
}

} // namespace
} // namespace vexo::test
