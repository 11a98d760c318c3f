//===- ItemCommandsTest.cpp - read, write, watch, save and load -----------===//

#include "ToolFixture.h"

#include <atomic>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

#include <vexo/framework/DateUtils.h>

namespace vexo::test {
namespace {

using ItemCommandsTest = ToolTest;

constexpr const char *DA10 = "Vexo.Simulation.DA10.1";

TEST_F(ItemCommandsTest, ReadPrintsItemsInOrderAndReportsEachRefusedOne) {
    // Good items print "id = value  quality  time"; unknown and write-only items fail alone.
    const TToolRun R =
        Run({"read", "Simulation.Constant.Int4", "Simulation.Unknown", "Simulation.Quality.Bad",
             "Simulation.WriteOnly.Int4", "Simulation.Constant.String"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    const auto Out = Lines(R.Out);
    ASSERT_EQ(Out.size(), 3u) << R.Out;
    EXPECT_TRUE(Out[0].starts_with("Simulation.Constant.Int4 = ")) << Out[0];
    EXPECT_TRUE(Contains(Out[0], "  good  20")) << Out[0];
    EXPECT_TRUE(Contains(Out[1], "  bad 0x18  ")) << Out[1];
    EXPECT_TRUE(Out[2].starts_with("Simulation.Constant.String = ")) << Out[2];
    EXPECT_EQ(Lines(R.Err),
              (std::vector<std::string>{
                  "vexo-opc: Simulation.Unknown: The item is no longer available in the server "
                  "address space. (0xC0040007)",
                  "vexo-opc: Simulation.WriteOnly.Int4: The Items AccessRights do not allow the "
                  "operation. (0xC0040006)"}));
}

TEST_F(ItemCommandsTest, ReadFromDeviceAndFromTheDA10Server) {
    // Device and cache reads of both servers succeed with exit 0 and nothing on err.
    for (const std::vector<std::string> &Args :
         {std::vector<std::string>{"read", "--device", "Simulation.Ramp.Int4"},
          {"read", "--server", DA10, "Simulation.Ramp.Int4"},
          {"read", "--server", DA10, "--device", "Simulation.Ramp.Int4"}}) {
        const TToolRun R = Run(Args);
        EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        EXPECT_TRUE(R.Err.empty());
        EXPECT_TRUE(R.Out.starts_with("Simulation.Ramp.Int4 = ")) << R.Out;
    }
}

TEST_F(ItemCommandsTest, ReadsShowTheServersCurrentValues) {
    // A changing item read a second apart shows two good values that differ (the
    // server keeps its cache current); a time item reads as the time now.
    const auto ValueOf = [](const TToolRun &R) {
        EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        EXPECT_TRUE(Contains(R.Out, "  good  ")) << R.Out;
        const auto At = R.Out.find(" = ");
        return R.Out.substr(At + 3, R.Out.find("  ", At + 3) - At - 3);
    };
    const TToolRun First = Run({"read", "Simulation.Ramp.Int4"});
    const auto Later = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    Application->ProcessMessagesUntil([&] { return std::chrono::steady_clock::now() >= Later; },
                                      std::chrono::seconds(5));
    const TToolRun Second = Run({"read", "Simulation.Ramp.Int4"});
    EXPECT_NE(ValueOf(First), ValueOf(Second));

    const TToolRun Time = Run({"read", "Simulation.Ramp.Time"});
    const std::string Shown = ValueOf(Time);
    int Y = 0, Mo = 0, D = 0, H = 0, Mi = 0, S = 0;
    ASSERT_EQ(std::sscanf(Shown.c_str(), "%d-%d-%d %d:%d:%d", &Y, &Mo, &D, &H, &Mi, &S), 6)
        << Shown;
    const TDateTime Read = EncodeDate(Y, Mo, D) + EncodeTime(H, Mi, S, 0);
    EXPECT_LT(std::fabs(Read - Now()) * 86400.0, 2.5) << Shown;
}

TEST_F(ItemCommandsTest, WriteConvertsByCanonicalTypeAndReadsTheValueBack) {
    // Text becomes each item's type (arrays split at ';'); the device then holds the value.
    const TToolRun R =
        Run({"write", "Simulation.Bucket.Int4=-42", "Simulation.Bucket.String=a=b c",
             "Simulation.Bucket.Boolean=true", "Simulation.Bucket.Real8=2.5",
             "Simulation.Bucket.Time=2024-05-06 07:08:09", "Simulation.Bucket.Int4Array=1;2;3",
             "Simulation.Line 1.Setpoint=150", "Simulation.WriteOnly.Int4=7"});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(Lines(R.Out),
              (std::vector<std::string>{
                  "Simulation.Bucket.Int4 = -42  written, reads -42  good",
                  "Simulation.Bucket.String = a=b c  written, reads a=b c  good",
                  "Simulation.Bucket.Boolean = True  written, reads True  good",
                  "Simulation.Bucket.Real8 = 2.5  written, reads 2.5  good",
                  "Simulation.Bucket.Time = 2024-05-06 07:08:09  written, reads 2024-05-06 "
                  "07:08:09  good",
                  "Simulation.Bucket.Int4Array = 1;2;3;  written, reads 1;2;3;  good",
                  "Simulation.Line 1.Setpoint = 150  written, reads 100  good", // clamped
                  "Simulation.WriteOnly.Int4 = 7  written"}));
}

TEST_F(ItemCommandsTest, WriteReportsEachFailedItemAndWritesTheOthers) {
    // Out-of-range and non-numeric text, read-only and unknown items fail; the rest is written.
    const TToolRun R = Run({"write", "Simulation.Bucket.Int1=300", "Simulation.Bucket.Real8=abc",
                            "Simulation.ReadOnly.Int4=1", "Simulation.Unknown=1",
                            "Simulation.Bucket.UInt2=65535"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_EQ(Lines(R.Out), (std::vector<std::string>{
                                "Simulation.Bucket.UInt2 = 65535  written, reads 65535  good"}));
    const auto Err = Lines(R.Err);
    ASSERT_EQ(Err.size(), 4u) << R.Err;
    EXPECT_TRUE(Err[0].starts_with("vexo-opc: Simulation.Bucket.Int1: ") &&
                Contains(Err[0], "300"));
    EXPECT_TRUE(Err[1].starts_with("vexo-opc: Simulation.Bucket.Real8: ") &&
                Contains(Err[1], "abc"));
    EXPECT_TRUE(Contains(Err[2], "Simulation.ReadOnly.Int4: ") && Contains(Err[2], "0xC0040006"));
    EXPECT_TRUE(Contains(Err[3], "Simulation.Unknown: ") && Contains(Err[3], "0xC0040007"));
}

TEST_F(ItemCommandsTest, WatchStopsAfterCountOnBothServers) {
    // Exactly K changes are printed, through data callbacks (DA 2.0) and advise streams (DA 1.0).
    for (const char *Server : {"Vexo.Simulation.1", DA10}) {
        // --seconds only bounds the test should --count be ignored.
        const TToolRun R = Run({"watch", "Simulation.Ramp.Int4", "Simulation.Sine.Real8",
                                "--server", Server, "--rate", "100", "--count", "5",
                                "--seconds", "60"});
        EXPECT_EQ(R.Code, cli::ExitSuccess) << R.Err;
        EXPECT_EQ(Lines(R.Out).size(), 5u) << R.Out;
        EXPECT_TRUE(R.Out.starts_with("Simulation.")) << R.Out;
    }
}

TEST_F(ItemCommandsTest, WatchEndsOnStopRequestOrAtOnceWithoutItems) {
    // A watch without limits ends when stopped from another thread; only refused items end it at
    // once.
    std::atomic<bool> Finished{false};
    std::thread Stopper([&] {
        while (!Finished) { // repeated: the run clears a request made before it started
            cli::RequestStop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const TToolRun Stopped = Run({"watch", "Simulation.Constant.Int4"});
    Finished = true;
    Stopper.join();
    EXPECT_EQ(Stopped.Code, cli::ExitSuccess) << Stopped.Err;

    const TToolRun Refused = Run({"watch", "Simulation.Unknown"});
    EXPECT_EQ(Refused.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(Refused.Err, "Simulation.Unknown: ")) << Refused.Err;
}

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

TEST_F(ConfigCommandsTest, SaveThenLoadConnectsAndListsTheGroup) {
    // The saved file names the server and items, no handlers; load connects and lists them.
    TToolRun R = Run({"save", File, "Simulation.Ramp.Int4", "Simulation.Line 1.Level", "--rate",
                      "200", "--server", DA10});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    const std::string Text = ReadFile();
    EXPECT_TRUE(Contains(Text, "ServerName = 'Vexo.Simulation.DA10.1'")) << Text;
    EXPECT_TRUE(Contains(Text, "Active = True")) << Text;
    EXPECT_FALSE(Contains(Text, "OnError")) << Text;

    R = Run({"load", File});
    ASSERT_EQ(R.Code, cli::ExitSuccess) << R.Err;
    EXPECT_EQ(Lines(R.Out),
              (std::vector<std::string>{"server Vexo.Simulation.DA10.1 on this computer, connected",
                                        "group CLI: 200 ms, active, 2 items",
                                        "  Simulation.Ramp.Int4", "  Simulation.Line 1.Level"}));
}

TEST_F(ConfigCommandsTest, RefusedItemsAreNeverSavedAndFailWhenLoaded) {
    // save writes nothing for an unknown item; a file naming one loads but fails, marking it.
    TToolRun R = Run({"save", File, "Simulation.Ramp.Int4", "Simulation.Unknown"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(R.Err, "Simulation.Unknown: ")) << R.Err;
    EXPECT_TRUE(ReadFile().empty()) << "a file was written";

    ASSERT_EQ(Run({"save", File, "Simulation.Ramp.Int4", "Simulation.Ramp.Int2"}).Code,
              cli::ExitSuccess);
    std::string Text = ReadFile();
    Text.replace(Text.find("Simulation.Ramp.Int2"), 20, "Simulation.Ramp.Gone");
    std::ofstream(File, std::ios::binary | std::ios::trunc) << Text;
    R = Run({"load", File});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(R.Err, "Simulation.Ramp.Gone")) << R.Err;
    EXPECT_TRUE(Contains(R.Out, "  Simulation.Ramp.Gone  - not on the server\n")) << R.Out;
    EXPECT_TRUE(Contains(R.Out, "  Simulation.Ramp.Int4\n")) << R.Out;
}

TEST_F(ConfigCommandsTest, LoadFailsForMissingAndForeignFiles) {
    // A file that does not exist or is no configuration fails with exit 1 and its reason.
    TToolRun R = Run({"load", File});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Contains(R.Err, File)) << R.Err;
    std::ofstream(File) << "just some text\n";
    R = Run({"load", File});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_EQ(R.Err, "vexo-opc: wrong fileformat\n");
}

} // namespace
} // namespace vexo::test
