//===- ConfigCommandsTest.cpp - save and load -----------------------------===//

#include "ToolFixture.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <nlohmann/json.hpp>

namespace vexo::test {
namespace {

class ConfigCommandsTest : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        File = ::testing::TempDir() + "vexo_opc_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::remove(File.c_str());
    }
    void TearDown() override {
        std::remove(File.c_str());
        ToolTest::TearDown();
    }
    std::string ReadFile() const {
        std::ifstream In(File, std::ios::binary);
        std::stringstream S;
        S << In.rdbuf();
        return S.str();
    }
    std::string File;
};

TEST_F(ConfigCommandsTest, SaveThenLoadConnectsAndListsTheGroupInEveryFormat) {
    // The saved file names the server and items, no handlers; load lists them as table, CSV, JSON.
    TToolRun R = Run({"save", File, "Simulation.Ramp.Int4", "Simulation.Line 1.Level", "--rate",
                      "200", "--server", "Vexo.Simulation.DA10.1"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(R.Out, "saved group CLI with 2 items of Vexo.Simulation.DA10.1 (update rate 200 ms) "
                     "to " +
                         File + "\n");
    const std::string Text = ReadFile();
    EXPECT_TRUE(Contains(Text, "ServerName = 'Vexo.Simulation.DA10.1'")) << Text;
    EXPECT_TRUE(Contains(Text, "Active = True")) << Text;
    EXPECT_FALSE(Contains(Text, "OnError")) << Text;

    R = Run({"load", File});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(Lines(R.Out),
              (std::vector<std::string>{
                  "server Vexo.Simulation.DA10.1 on this computer, connected",
                  "group  update_rate  active  item                     access_path  on_server",
                  "CLI    200          true    Simulation.Ramp.Int4     -            true",
                  "CLI    200          true    Simulation.Line 1.Level  -            true"}));
    R = Run({"load", File, "-f", "csv"});
    const auto Rows = ParseCsv(R.Out);
    ASSERT_EQ(Rows.size(), 3u) << R.Out;
    EXPECT_EQ(Rows[2],
              (std::vector<std::string>{"Vexo.Simulation.DA10.1", "this computer", "true", "CLI",
                                        "200", "true", "Simulation.Line 1.Level", "", "true"}));
    R = Run({"load", File, "-f", "json"});
    const nlohmann::json Loaded = nlohmann::json::parse(R.Out);
    EXPECT_EQ(Loaded["connected"], true);
    EXPECT_EQ(Loaded["groups"][0]["update_rate"], 200);
    EXPECT_EQ(Loaded["groups"][0]["items"][1]["item"], "Simulation.Line 1.Level");
}

TEST_F(ConfigCommandsTest, RefusedItemsAreNeverSavedAndFailWhenLoaded) {
    // save writes nothing for an unknown item; a file naming one loads as a partial failure.
    TToolRun R = Run({"save", File, "Simulation.Ramp.Int4", "Simulation.Unknown"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(R.Err, "Simulation.Unknown: ")) << R.Err;
    EXPECT_FALSE(std::filesystem::exists(File)) << "a file was written";

    ASSERT_EQ(Run({"save", File, "Simulation.Ramp.Int4", "Simulation.Ramp.Int2"}).Code,
              cli::ExitSuccess);
    std::string Text = ReadFile();
    Text.replace(Text.find("Simulation.Ramp.Int2"), 20, "Simulation.Ramp.Gone");
    std::ofstream(File, std::ios::binary | std::ios::trunc) << Text;
    R = Run({"load", File, "-f", "csv"});
    EXPECT_EQ(R.Code, cli::ExitPartial);
    EXPECT_TRUE(Contains(R.Err, "Simulation.Ramp.Gone")) << R.Err;
    const auto Rows = ParseCsv(R.Out);
    ASSERT_EQ(Rows.size(), 3u) << R.Out;
    EXPECT_EQ(Rows[1][6] + "=" + Rows[1][8], "Simulation.Ramp.Int4=true");
    EXPECT_EQ(Rows[2][6] + "=" + Rows[2][8], "Simulation.Ramp.Gone=false");
}

TEST_F(ConfigCommandsTest, FilesThatCannotBeUsedAreNamedWithTheReason) {
    // Missing, directory, foreign, unknown-server and unwritable files: exit 1, file and reason.
    const std::string Dir = ::testing::TempDir();
    const std::string Missing = Dir + "vexo_opc_no_such_file.txt";
    const std::vector<std::pair<std::vector<std::string>, std::string>> Cases = {
        {{"load", Missing},
         "cannot load '" + Missing + "': Cannot open file \"" + Missing +
             "\". No such file or directory"},
        {{"load", Dir}, "cannot load '" + Dir + "': it is a directory"},
        {{"save", Dir, "Simulation.Ramp.Int4"}, "cannot save to '" + Dir + "': it is a directory"},
        {{"save", Dir + "no_dir/x.txt", "Simulation.Ramp.Int4"},
         "cannot save to '" + Dir + "no_dir/x.txt': Cannot create file \"" + Dir +
             "no_dir/x.txt\". No such file or directory"},
    };
    for (const auto &[Args, Message] : Cases) {
        const TToolRun R = Run(Args);
        EXPECT_EQ(R.Code, cli::ExitFailure);
        EXPECT_EQ(R.Err, "vexo-opc: " + Message + "\n");
    }

    std::ofstream(File) << "just some text\n";
    TToolRun R = Run({"load", File});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_EQ(R.Err, "vexo-opc: cannot load '" + File +
                         "': wrong fileformat (no saved TVexoServer in its first lines)\n");

    ASSERT_EQ(Run({"save", File, "Simulation.Ramp.Int4"}).Code, cli::ExitSuccess);
    std::string Text = ReadFile();
    Text.replace(Text.find("Vexo.Simulation.1"), 17, "No.Such.Server.1");
    std::ofstream(File, std::ios::binary | std::ios::trunc) << Text;
    R = Run({"load", File});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_EQ(R.Err, "vexo-opc: cannot load '" + File +
                         "': it names server 'No.Such.Server.1' on this computer, which cannot be "
                         "connected: first define servername\n");
}

TEST_F(ConfigCommandsTest, TheLargestRateIsSavedAsARateTheFileHolds) {
    // The largest rate passes the command line; the server's revision stays within int32.
    const TToolRun R = Run({"save", File, "Simulation.Ramp.Int4", "--rate", "2147483647"});
    EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    std::ifstream In(File);
    const std::string Text((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(Contains(Text, "UpdateRate = 2147483647")) << Text;
}

} // namespace
} // namespace vexo::test
