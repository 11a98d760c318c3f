//===- ProcessTest.cpp - vexo-opc run as a program -----------------------===//
//
// Runs the built vexo-opc through the shell, the way a user or a script
// does: its standard streams, exit codes, a full disk, a script on standard
// input, and the README's tour exactly as the README prints it.
//
//===----------------------------------------------------------------------===//
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "ToolFixture.h"

namespace vexo::test {
namespace {

struct TProcessRun {
    int Code = -1;
    std::string Out;
    std::string Err;
};

std::string ReadAll(const std::string &File) {
    std::ifstream In(File, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
}

/// Runs Command with sh, the directory of vexo-opc first on PATH, Input on stdin.
TProcessRun Shell(const std::string &Command, const std::string &Input = {}) {
    const std::string Base =
        ::testing::TempDir() + "vexo_opc_process_" + std::to_string(::getpid());
    std::ofstream(Base + ".in", std::ios::binary) << Input;
    const std::string Dir = std::filesystem::path(VEXO_OPC_BINARY).parent_path().string();
    const std::string Line = "PATH='" + Dir + "':\"$PATH\"; export PATH; (" + Command + ") < '" +
                             Base + ".in' > '" + Base + ".out' 2> '" + Base + ".err'";
    const int Status = std::system(Line.c_str());
    TProcessRun R;
    R.Code = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    R.Out = ReadAll(Base + ".out");
    R.Err = ReadAll(Base + ".err");
    for (const char *Ext : {".in", ".out", ".err"})
        std::remove((Base + Ext).c_str());
    return R;
}

TEST(ProcessTest, ExitCodesAndStreamsOfTheProgram) {
    // Success, OPC failure, usage error and partial failure reach the caller as 0, 1, 2, 3.
    TProcessRun R = Shell("vexo-opc --version");
    EXPECT_EQ(R.Code, 0);
    EXPECT_EQ(R.Out, "vexo-opc 1.3.0\n");
    R = Shell("vexo-opc read Simulation.Constant.Int4 --value");
    EXPECT_EQ(R.Code, 0);
    EXPECT_EQ(R.Out, "42\n");
    R = Shell("vexo-opc read Simulation.Unknown");
    EXPECT_EQ(R.Code, 1);
    EXPECT_TRUE(R.Err.starts_with("vexo-opc: Simulation.Unknown: ")) << R.Err;
    R = Shell("vexo-opc read --rate 5 X");
    EXPECT_EQ(R.Code, 2);
    R = Shell("vexo-opc read Simulation.Constant.Int4 Simulation.Unknown -f csv");
    EXPECT_EQ(R.Code, 3);
    EXPECT_TRUE(R.Out.starts_with("item,value,")) << R.Out;
}

TEST(ProcessTest, AFullStandardOutputFailsWithTheReason) {
    // Writing to /dev/full is an error with exit 1, not a silent success.
    const TProcessRun R = Shell("vexo-opc read Simulation.Constant.Int4 > /dev/full");
    EXPECT_EQ(R.Code, 1);
    EXPECT_EQ(R.Err, "vexo-opc: cannot write the output: No space left on device\n");
}

TEST(ProcessTest, AShellScriptOnStandardInputKeepsItsServerAndNoProgressLeaksIntoPipes) {
    // Written values read back within one run; a recursive browse writes no progress into a pipe.
    const TProcessRun R = Shell("vexo-opc shell", "write Simulation.Bucket.Int2=-7\n"
                                                  "read Simulation.Bucket.Int2 -f json\n"
                                                  "watch Simulation.Bucket.Int2 -n 1 -t 60 -f csv\n"
                                                  "browse -R -f csv\n");
    ASSERT_EQ(R.Code, 0) << R.Err;
    EXPECT_TRUE(R.Err.empty()) << R.Err;
    EXPECT_TRUE(Contains(R.Out, "\"value\": -7")) << R.Out;
    EXPECT_TRUE(Contains(R.Out, "\nSimulation.Bucket.Int2,-7,I2,good,192,")) << R.Out;
    EXPECT_TRUE(Contains(R.Out, "\nleaf,Pump 1,Simulation.Line 1.Pump 1\n")) << R.Out;
    EXPECT_FALSE(Contains(R.Out, "\r")) << "progress in a pipe";
}

TEST(ProcessTest, TheReadmeTourRunsAsTyped) {
    // Every vexo-opc line of the README's command-line section succeeds with output.
    std::ifstream In(VEXO_README);
    ASSERT_TRUE(In) << VEXO_README;
    std::vector<std::string> Commands;
    bool InSection = false, InBlock = false;
    for (std::string Line; std::getline(In, Line);) {
        if (Line.starts_with("## "))
            InSection = Line == "## The command-line client";
        else if (InSection && Line.starts_with("```"))
            InBlock = !InBlock;
        else if (InSection && InBlock &&
                 (Line.starts_with("vexo-opc ") || Line.find("| vexo-opc ") != std::string::npos))
            Commands.push_back(Line);
    }
    ASSERT_GE(Commands.size(), 4u) << "the tour went missing";
    for (const std::string &Command : Commands) {
        SCOPED_TRACE(Command);
        const TProcessRun R = Shell(Command);
        EXPECT_EQ(R.Code, 0) << R.Err;
        EXPECT_FALSE(R.Out.empty());
        if (Command.find("| vexo-opc shell") != std::string::npos) {
            EXPECT_TRUE(R.Out.ends_with("\n7\n")) << "the shell kept its server: " << R.Out;
        }
    }
}

} // namespace
} // namespace vexo::test
