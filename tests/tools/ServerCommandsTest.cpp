//===- ServerCommandsTest.cpp - servers, status, browse and properties ----===//

#include "ToolFixture.h"

#include <algorithm>
#include <set>

namespace vexo::test {
namespace {

using ServerCommandsTest = ToolTest;

std::string LineWith(const std::string &Text, const std::string &Part) {
    for (const std::string &Line : Lines(Text))
        if (Line.find(Part) != std::string::npos)
            return Line;
    return {};
}

TEST_F(ServerCommandsTest, ServersListsEachClassOnceWithItsCategories) {
    // Local and named computers list both classes; an unknown computer fails naming it.
    RegisterSimulationServers("plant7");
    for (const std::vector<std::string> &Args :
         {std::vector<std::string>{"servers"}, {"servers", "--computer", "plant7"}}) {
        const TToolRun R = Run(Args);
        ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        const std::string DA20 = LineWith(R.Out, "Vexo.Simulation.1 ");
        EXPECT_TRUE(Contains(DA20, "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}  DA1.0,DA2.0")) << DA20;
        const std::string DA10 = LineWith(R.Out, "Vexo.Simulation.DA10.1 ");
        EXPECT_TRUE(Contains(DA10, "DA1.0 ")) << DA10;
        EXPECT_FALSE(Contains(DA10, "DA2.0")) << DA10;
        EXPECT_EQ(std::count(R.Out.begin(), R.Out.end(), '\n'), 2) << R.Out;
    }
    const TToolRun R = Run({"servers", "--computer", "nowhere"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(R.Err, "nowhere: The RPC server is unavailable.")) << R.Err;
}

TEST_F(ServerCommandsTest, StatusConnectsByProgIDOrClassIDAndNamesWhatFailed) {
    // Both id forms connect; an unknown id, class or computer fails with exit 1 naming it.
    for (const char *Id : {"Vexo.Simulation.DA10.1", "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}"}) {
        const TToolRun R = Run({"status", "--server", Id});
        ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        EXPECT_TRUE(Contains(R.Out, "state:         running\n")) << R.Out;
        EXPECT_TRUE(Contains(R.Out, std::string("server:        ") + Id + "\n")) << R.Out;
    }
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
    // The root holds one branch; a path lists its leaves with full ids; a bad path fails.
    TToolRun R = Run({"browse"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(R.Out, "branch  Simulation\n");

    R = Run({"browse", "Simulation.Line 1"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(LineWith(R.Out, "Setpoint"), "leaf    Setpoint           Simulation.Line 1.Setpoint");
    EXPECT_FALSE(Contains(R.Out, "branch"));

    R = Run({"browse", "Simulation.Nowhere"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(R.Out.empty());
    EXPECT_TRUE(Contains(R.Err, "cannot move to 'Simulation.Nowhere'")) << R.Err;
}

TEST_F(ServerCommandsTest, RecursiveBrowseFindsTheSameItemsOnTheFlatServer) {
    // The hierarchical walk and the flat list name the same item ids, once each.
    const TToolRun Tree = Run({"browse", "--recursive"});
    const TToolRun Flat = Run({"browse", "--recursive", "--server", "Vexo.Simulation.DA10.1"});
    ASSERT_EQ(Tree.Code, cli::ExitSuccess) << Tree.Err;
    ASSERT_EQ(Flat.Code, cli::ExitSuccess) << Flat.Err;
    const std::vector<std::string> TreeIds = Lines(Tree.Out), FlatIds = Lines(Flat.Out);
    const std::set<std::string> TreeSet(TreeIds.begin(), TreeIds.end());
    EXPECT_EQ(TreeSet.size(), TreeIds.size()) << "an item listed twice";
    EXPECT_EQ(TreeSet, std::set<std::string>(FlatIds.begin(), FlatIds.end()));
    EXPECT_TRUE(TreeSet.count("Simulation.Line 1.Pump 1"));
    EXPECT_TRUE(TreeSet.count("Simulation.Bucket.StringArray"));
    EXPECT_GT(TreeSet.size(), 50u);

    // Below a path: the hierarchical walk starts there, the flat list selects by prefix.
    const TToolRun Sub = Run({"browse", "Simulation.Quality", "--recursive"});
    const TToolRun FlatSub =
        Run({"browse", "Simulation.Quality", "--server", "Vexo.Simulation.DA10.1"});
    EXPECT_EQ(Lines(Sub.Out),
              (std::vector<std::string>{"Simulation.Quality.Override",
                                        "Simulation.Quality.Uncertain", "Simulation.Quality.Bad"}));
    EXPECT_EQ(Lines(FlatSub.Out), (std::vector<std::string>{"leaf    Simulation.Quality.Override",
                                                            "leaf    Simulation.Quality.Uncertain",
                                                            "leaf    Simulation.Quality.Bad"}));
    const TToolRun None = Run({"browse", "Simulation.Qual", "--server", "Vexo.Simulation.DA10.1"});
    EXPECT_EQ(None.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(None.Err, "no item ids below 'Simulation.Qual'")) << None.Err;
}

TEST_F(ServerCommandsTest, PropertiesShowValuesLinkedItemsAndUnreadableEntries) {
    // Every listed property appears; 100 links to its item; 5001, whose read fails, says so.
    TToolRun R = Run({"properties", "Simulation.Line 1.Level"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(Lines(R.Out).size(), 11u) << R.Out;
    EXPECT_TRUE(Contains(LineWith(R.Out, "  100  "), "= m  -> Simulation.Line 1.Level EU"))
        << R.Out;
    EXPECT_TRUE(Contains(LineWith(R.Out, " 5001  "), "= (cannot be read)")) << R.Out;
    EXPECT_TRUE(Contains(LineWith(R.Out, "    1  "), "= 5")) << "canonical type R8";

    R = Run({"properties", "Simulation.Missing"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(R.Err.starts_with("vexo-opc: Simulation.Missing: ")) << R.Err;
    R = Run({"properties", "Simulation.Ramp.Int4", "--server", "Vexo.Simulation.DA10.1"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(R.Err, "offers no item properties")) << R.Err;
}

} // namespace
} // namespace vexo::test
