//===- CommandLineTest.cpp - vexo-opc's command line and its usage errors -===//

#include "ToolFixture.h"

#include "CommandLine.h"

#include <vexo/VexoErrors.h>

namespace vexo::test {
namespace {

using CommandLineTest = ToolTest;

TEST_F(CommandLineTest, UsageErrorsNameTheOffendingInputAndExitWith2) {
    // Each mistake gives one line naming the input, the hint, exit code 2 and no output.
    const std::vector<std::pair<std::vector<std::string>, std::string>> Cases = {
        {{"bogus"}, "'bogus'"},
        {{"status", "--frob"}, "'--frob'"},
        {{"-x", "status"}, "'-x'"},
        {{"read", "--rate", "100", "X"}, "'--rate' does not apply to 'read'"},
        {{"watch", "X", "--rate"}, "'--rate' needs a value"},
        {{"watch", "X", "--count", "--rate", "5"}, "'--count' needs a value"},
        {{"watch", "X", "--rate", "-1"}, "'-1'"},
        {{"watch", "X", "--rate", "99999999999"}, "'99999999999'"},
        {{"watch", "X", "--seconds", "1x"}, "'1x'"},
        {{"watch", "X", "--seconds", "+5"}, "'+5'"},
        {{"watch", "X", "--count", "0"}, "'0'"},
        {{"watch", "X", "--count="}, "''"},
        {{"browse", "--recursive=yes"}, "'--recursive' takes no value"},
        {{"status", "extra"}, "'extra'"},
        {{"read"}, "read ITEM..."},
        {{"load"}, "load FILE"},
        {{"write", "Simulation.Bucket.Int4"}, "'Simulation.Bucket.Int4' is not ITEM=VALUE"},
        {{"write", "=5"}, "'=5'"},
        {{"status", "--server="}, "'--server'"},
    };
    for (const auto &[Args, Named] : Cases) {
        const TToolRun R = Run(Args);
        SCOPED_TRACE(Args.front() + " ... " + Args.back());
        EXPECT_EQ(R.Code, cli::ExitUsage);
        EXPECT_TRUE(R.Out.empty());
        const auto ErrLines = Lines(R.Err);
        ASSERT_EQ(ErrLines.size(), 2u) << R.Err;
        EXPECT_TRUE(Contains(ErrLines[0], Named)) << ErrLines[0];
        EXPECT_EQ(ErrLines[1], "try 'vexo-opc help'");
    }
}

TEST_F(CommandLineTest, HelpInEveryFormPrintsUsageAndSucceeds) {
    // No arguments, "help", "--help" and "-h" (even after a mistake) print the usage.
    for (const std::vector<std::string> &Args :
         {std::vector<std::string>{}, {"help"}, {"--help"}, {"read", "--bogus", "-h"}}) {
        const TToolRun R = Run(Args);
        EXPECT_EQ(R.Code, cli::ExitSuccess);
        EXPECT_TRUE(R.Out.starts_with("usage: vexo-opc")) << R.Out;
        EXPECT_TRUE(R.Err.empty());
    }
}

TEST_F(CommandLineTest, OptionsStandAnywhereInBothFormsUntilDoubleDash) {
    // "--name value" and "--name=value" before and after the command; "--" ends the options.
    const cli::TCliOptions O = cli::ParseCommandLine(
        {"--server={7E46A347-A843-44D9-B2C6-ADCF158C9B0F}", "watch", "A", "--rate", "0",
         "--computer", "plant7", "--seconds=2147483647", "--", "--count", "-1"});
    ASSERT_NE(O.Command, nullptr);
    EXPECT_EQ(O.Command->Name, "watch");
    EXPECT_EQ(O.Args, (std::vector<std::string>{"A", "--count", "-1"}));
    EXPECT_EQ(O.Server, "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}");
    EXPECT_EQ(O.Computer, "plant7");
    EXPECT_EQ(O.Rate, 0);
    EXPECT_EQ(O.Seconds, 2147483647);
    EXPECT_EQ(O.Count, 0);
    EXPECT_EQ(cli::ParseCommandLine({"read", "X"}).Server, "Vexo.Simulation.1");
}

TEST_F(CommandLineTest, RunRoutesReportsToErrAndGivesTheHandlersBack) {
    // During a run ShowMessage goes to err; afterwards the caller's handlers are in place again.
    const TToolRun R = Run({"status", "--server", "No.Such.1"});
    EXPECT_EQ(R.Code, cli::ExitFailure);
    EXPECT_TRUE(Shown.empty());
    ShowMessage("probe");
    try {
        throw EOPCException("raised");
    } catch (...) {
        Application->HandleException(nullptr);
    }
    EXPECT_EQ(Shown, (std::vector<std::string>{"probe", "raised"}));
    Shown.clear();
}

} // namespace
} // namespace vexo::test
