//===- ServerCommandsTest.cpp - servers, status, browse and properties ----===//

#include "ToolFixture.h"

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

namespace vexo::test {
namespace {

using ServerCommandsTest = ToolTest;
using Json = nlohmann::json;

std::string LineWith(const std::string &Text, const std::string &Part) {
    for (const std::string &Line : Lines(Text))
        if (Line.find(Part) != std::string::npos)
            return Line;
    return {};
}

/// Column Index of every CSV record after the header.
std::vector<std::string> Column(const std::string &Csv, std::size_t Index) {
    std::vector<std::string> Result;
    const auto Rows = ParseCsv(Csv);
    for (std::size_t I = 1; I < Rows.size(); ++I)
        Result.push_back(Rows[I].at(Index));
    return Result;
}

TEST_F(ServerCommandsTest, ServersListsEachClassOnceWithItsCategories) {
    // Local and named computers list both classes; an unknown computer fails naming it.
    RegisterSimulationServers("plant7");
    for (const std::vector<std::string> &Args :
         {std::vector<std::string>{"servers", "-f", "csv"},
          {"servers", "--computer", "plant7", "-f", "csv"}}) {
        const TToolRun R = Run(Args);
        ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        const auto Rows = ParseCsv(R.Out);
        ASSERT_EQ(Rows.size(), 3u) << R.Out;
        EXPECT_EQ(Rows[0],
                  (std::vector<std::string>{"progid", "classid", "categories", "description"}));
        EXPECT_EQ(Rows[1][0] + " " + Rows[1][1] + " " + Rows[1][2],
                  "Vexo.Simulation.1 {7E46A347-A843-44D9-B2C6-ADCF158C9B0F} DA1.0,DA2.0");
        EXPECT_EQ(Rows[2][0] + " " + Rows[2][2], "Vexo.Simulation.DA10.1 DA1.0");
    }
    const TToolRun Table = Run({"servers"});
    EXPECT_EQ(Lines(Table.Out)[1].find("{7E46"), Lines(Table.Out)[0].find("classid"));
    const TToolRun R = Run({"servers", "--computer", "nowhere"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(R.Err, "nowhere: The RPC server is unavailable.")) << R.Err;
}

TEST_F(ServerCommandsTest, StatusConnectsByProgIDOrClassIDAndNamesWhatFailed) {
    // Both id forms connect; the record is a JSON object; an unknown id, class or computer fails.
    for (const char *Id : {"Vexo.Simulation.DA10.1", "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}"}) {
        const TToolRun R = Run({"status", "--server", Id});
        ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        EXPECT_TRUE(Contains(R.Out, "state:         running\n")) << R.Out;
        EXPECT_TRUE(Contains(R.Out, std::string("server:        ") + Id + "\n")) << R.Out;
    }
    const Json Status = Json::parse(Run({"status", "-f", "json"}).Out);
    EXPECT_EQ(Status["state"], "running");
    EXPECT_EQ(Status["groups"], 0);
    EXPECT_EQ(Status["last_update"], nullptr);
    EXPECT_EQ(Status["start_time"].get<std::string>().size(), 25u) << Status;

    const std::vector<std::pair<std::vector<std::string>, std::string>> Failures = {
        {{"status", "--server", "No.Such.1"}, "unknown server 'No.Such.1'"},
        {{"status", "--server", "{00000000-0000-0000-0000-0000000000AB}"},
         "{00000000-0000-0000-0000-0000000000AB} on this computer: Class not registered"},
        {{"status", "--computer", "nowhere"}, "Vexo.Simulation.1 on nowhere"},
    };
    for (const auto &[Args, Named] : Failures) {
        const TToolRun R = Run(Args);
        EXPECT_EQ(R.Code, cli::ExitFailure);
        EXPECT_TRUE(R.Out.empty());
        ASSERT_EQ(Lines(R.Err).size(), 1u) << R.Err;
        EXPECT_TRUE(Contains(R.Err, Named)) << R.Err;
    }
}

TEST_F(ServerCommandsTest, BrowseListsBranchesAndLeavesAtAPath) {
    // The root holds one branch; a path lists its leaves with full ids, aligned; a bad path fails.
    TToolRun R = Run({"browse", "-f", "csv"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(R.Out, "kind,name,item\nbranch,Simulation,\n");

    R = Run({"browse", "Simulation.Line 1"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(Lines(R.Out)[0], "kind  name               item");
    EXPECT_EQ(LineWith(R.Out, "Setpoint"), "leaf  Setpoint           Simulation.Line 1.Setpoint");
    EXPECT_FALSE(Contains(R.Out, "branch"));

    R = Run({"browse", "Simulation.Nowhere"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(R.Out.empty());
    EXPECT_TRUE(Contains(R.Err, "cannot move to 'Simulation.Nowhere'")) << R.Err;
}

TEST_F(ServerCommandsTest, RecursiveBrowseFindsTheSameItemsOnTheFlatServer) {
    // The hierarchical walk and the flat list name the same item ids, once each, no progress in
    // a stream that is not a terminal.
    const TToolRun Tree = Run({"browse", "--recursive", "-f", "csv"});
    const TToolRun Flat = Run({"browse", "-R", "--server", "Vexo.Simulation.DA10.1", "-f", "csv"});
    ASSERT_EQ(Tree.Code, cli::ExitSuccess) << Tree.Err;
    ASSERT_EQ(Flat.Code, cli::ExitSuccess) << Flat.Err;
    EXPECT_TRUE(Tree.Err.empty()) << Tree.Err;
    const std::vector<std::string> TreeIds = Column(Tree.Out, 2), FlatIds = Column(Flat.Out, 2);
    const std::set<std::string> TreeSet(TreeIds.begin(), TreeIds.end());
    EXPECT_EQ(TreeSet.size(), TreeIds.size()) << "an item listed twice";
    EXPECT_EQ(TreeSet, std::set<std::string>(FlatIds.begin(), FlatIds.end()));
    EXPECT_TRUE(TreeSet.count("Simulation.Line 1.Pump 1"));
    EXPECT_TRUE(TreeSet.count("Simulation.Bucket.StringArray"));
    EXPECT_GT(TreeSet.size(), 50u);

    // Below a path: the hierarchical walk starts there, the flat list selects by prefix.
    const std::vector<std::string> Quality = {
        "Simulation.Quality.Override", "Simulation.Quality.Uncertain", "Simulation.Quality.Bad"};
    EXPECT_EQ(Column(Run({"browse", "Simulation.Quality", "-R", "-f", "csv"}).Out, 2), Quality);
    EXPECT_EQ(
        Column(
            Run({"browse", "Simulation.Quality", "-s", "Vexo.Simulation.DA10.1", "-f", "csv"}).Out,
            2),
        Quality);
    const TToolRun None = Run({"browse", "Simulation.Qual", "--server", "Vexo.Simulation.DA10.1"});
    EXPECT_EQ(None.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(None.Err, "no item ids below 'Simulation.Qual'")) << None.Err;
}

TEST_F(ServerCommandsTest, ProgressAndNotesGoToATerminalOnly) {
    // On a terminal a recursive browse shows a status line it clears again, and a write to the
    // embedded simulation notes that its values end with the run; neither changes the exit code.
    TToolRun R = Run({"browse", "-R", "-f", "csv"}, {}, true);
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_TRUE(R.Err.starts_with("\r\033[Kbrowsing: ")) << R.Err;
    EXPECT_TRUE(R.Err.ends_with("\r\033[K")) << R.Err;
    EXPECT_FALSE(Contains(R.Out, "browsing")) << "progress in the output";

    R = Run({"write", "Simulation.Bucket.Int4=1"}, {}, true);
    EXPECT_EQ(R.Code, cli::ExitSuccess);
    EXPECT_TRUE(R.Err.starts_with("vexo-opc: note: this run's simulation server ends with it"))
        << R.Err;
    EXPECT_TRUE(Run({"write", "Simulation.Bucket.Int4=1"}).Err.empty());
    EXPECT_TRUE(Run({"shell"}, "write Simulation.Bucket.Int4=1\n", true).Err.empty());
}

TEST_F(ServerCommandsTest, PropertiesShowValuesLinkedItemsAndUnreadableEntries) {
    // Every listed property appears; 100 links to its item; 5001, whose read fails, says so.
    TToolRun R = Run({"properties", "Simulation.Line 1.Level", "-f", "json"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    const Json Rows = Json::parse(R.Out);
    ASSERT_EQ(Rows.size(), 11u) << R.Out;
    EXPECT_EQ(Rows[0]["id"], 1);
    EXPECT_EQ(Rows[0]["value"], 5) << "canonical type R8";
    EXPECT_EQ(Rows[7]["value"], Json::array({0.0, 100.0}));
    EXPECT_EQ(Rows[8]["value"], "m");
    EXPECT_EQ(Rows[8]["item"], "Simulation.Line 1.Level EU");
    EXPECT_EQ(Rows[10]["id"], 5001);
    EXPECT_EQ(Rows[10]["value"], nullptr);
    EXPECT_EQ(Rows[10]["error"], "cannot be read");
    EXPECT_EQ(Lines(Run({"properties", "Simulation.Line 1.Level", "-v"}).Out)[8], "m");

    R = Run({"properties", "Simulation.Missing"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(R.Err.starts_with("vexo-opc: Simulation.Missing: ")) << R.Err;
    R = Run({"properties", "Simulation.Ramp.Int4", "--server", "Vexo.Simulation.DA10.1"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(R.Err, "offers no item properties")) << R.Err;
}

} // namespace
} // namespace vexo::test
