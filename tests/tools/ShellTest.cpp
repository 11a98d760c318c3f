//===- ShellTest.cpp - vexo-opc shell and a failing output ----------------===//

#include "ToolFixture.h"

#include <streambuf>

#include <nlohmann/json.hpp>

namespace vexo::test {
namespace {

using ShellTest = ToolTest;
using Json = nlohmann::json;

TEST_F(ShellTest, AScriptWritesReadsBackAndWatchesOverOneConnection) {
    // What one line writes the next reads: the lines share one server; a watch ends on its count.
    const std::string Script = "# set up the bucket\n"
                               "write Simulation.Bucket.Int4=4242 'Simulation.Bucket.String=a b'\n"
                               "\n"
                               "read Simulation.Bucket.Int4 Simulation.Bucket.String -f json\n"
                               "watch Simulation.Bucket.Int4 -n 1 -t 60 --value\n"
                               "status -f json\n"
                               "quit\n"
                               "read never.reached\n";
    const TToolRun R = Run({"shell"}, Script);
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_TRUE(R.Err.empty()) << R.Err;
    const std::string Out = R.Out;
    const std::size_t ReadAt = Out.find("[\n");
    const std::size_t WatchAt = Out.find("]\n", ReadAt) + 2;
    ASSERT_NE(ReadAt, std::string::npos) << Out;
    const Json Read = Json::parse(Out.substr(ReadAt, WatchAt - ReadAt));
    EXPECT_EQ(Read[0]["value"], 4242);
    EXPECT_EQ(Read[1]["value"], "a b");
    EXPECT_TRUE(Out.substr(WatchAt).starts_with("4242\n{")) << Out.substr(WatchAt);
    // The command groups come and go: the server holds none once each command ended.
    EXPECT_EQ(Json::parse(Out.substr(WatchAt + 5))["groups"], 0);

    // Each run of its own starts a server of its own: the value is not there any more.
    const TToolRun Fresh = Run({"read", "Simulation.Bucket.Int4", "-v"});
    EXPECT_NE(Fresh.Out, "4242\n");
}

TEST_F(ShellTest, FailingLinesAreNumberedAndTheShellGoesOnUnlessToldToStop) {
    // Each failure names its line; exit is the last failure's code, or the first with -e.
    const std::string Script = "read Simulation.Constant.Int4 -v\n"
                               "bogus\n"
                               "read Simulation.Unknown\n"
                               "read Simulation.Constant.Int4 --server Other.1\n"
                               "read Simulation.Constant.Int4 Simulation.Unknown -v\n"
                               "help load\n"
                               "shell\n";
    TToolRun R = Run({"shell"}, Script);
    EXPECT_EQ(R.Code, cli::ExitUsage);
    EXPECT_TRUE(R.Out.starts_with("42\n42\nusage: vexo-opc load FILE")) << R.Out;
    EXPECT_EQ(Lines(R.Err),
              (std::vector<std::string>{
                  "vexo-opc: line 2: unknown command 'bogus'", "try 'help'",
                  "vexo-opc: line 3: Simulation.Unknown: The item is no longer available in the "
                  "server address space. (0xC0040007)",
                  "vexo-opc: line 4: '--server' is given once for the whole shell, as in "
                  "'vexo-opc shell --server ID'",
                  "try 'help read'",
                  "vexo-opc: line 5: Simulation.Unknown: The item is no longer available in the "
                  "server address space. (0xC0040007)",
                  "vexo-opc: line 7: unknown command 'shell'", "try 'help'"}));

    R = Run({"shell", "--stop-on-error"}, Script);
    EXPECT_EQ(R.Code, cli::ExitUsage);
    EXPECT_EQ(R.Out, "42\n");
    R = Run({"shell", "-e"}, "read Simulation.Constant.Int4 Simulation.Unknown\nstatus\n");
    EXPECT_EQ(R.Code, cli::ExitPartial);
    EXPECT_FALSE(Contains(R.Out, "state:")) << R.Out;

    R = Run({"shell", "-s", "Vexo.Simulation.DA10.1"}, "status -f csv\n");
    EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_TRUE(Contains(R.Out, "\nVexo.Simulation.DA10.1,")) << R.Out;
}

/// A stream buffer that takes nothing, as a full disk would.
class TFullBuffer : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
};

TEST_F(ShellTest, AnOutputThatCannotBeWrittenFailsTheRun) {
    // A full output turns a successful read into exit 1 with the reason on err.
    TFullBuffer Full;
    std::ostream Out(&Full);
    std::ostringstream Err;
    const int Code = cli::RunVexoOpc({"read", "Simulation.Constant.Int4"}, Out, Err);
    EXPECT_EQ(Code, cli::ExitFailure);
    EXPECT_TRUE(Err.str().starts_with("vexo-opc: cannot write the output")) << Err.str();
}

} // namespace
} // namespace vexo::test
