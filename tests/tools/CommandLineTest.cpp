//===- CommandLineTest.cpp - vexo-opc's command line and its usage errors -===//

#include "ToolFixture.h"

#include "CommandLine.h"

#include <vexo/VexoErrors.h>

namespace vexo::test {
namespace {

using CommandLineTest = ToolTest;

TEST_F(CommandLineTest, UsageErrorsNameTheOffendingInputAndExitWith2) {
    // Each mistake gives one line naming the input, the command's help hint, exit 2, no output.
    const std::vector<std::pair<std::vector<std::string>, std::string>> Cases = {
        {{"bogus"}, "unknown command 'bogus'"},
        {{"status", "--frob"}, "'status' has no option '--frob'"},
        {{"-x", "status"}, "'status' has no option '-x'"},
        {{"read", "--rate", "100", "X"}, "'read' has no option '--rate'"},
        {{"watch", "X", "--rate"}, "option '--rate' needs a value"},
        {{"watch", "X", "--rate", "-1"},
         "'-1' is not a whole number of milliseconds in 0..2147483647"},
        {{"watch", "X", "--rate", "2147483648"}, "'2147483648'"},
        {{"save", "f", "X", "-r", "99999999999"}, "'99999999999'"},
        {{"watch", "X", "--seconds", "1x"}, "'1x' is not a whole number of seconds"},
        {{"watch", "X", "-t", "+5"}, "'+5'"},
        {{"watch", "X", "--count", "0"}, "'0' is not a whole number of data changes in 1.."},
        {{"watch", "X", "--count="}, "option '--count' needs a value"},
        {{"read", "X", "--format", "xml"}, "'xml' is not one of table, csv, json"},
        {{"status", "extra"}, "unexpected argument 'extra' for 'status'"},
        {{"read"}, "'read' needs ITEM..."},
        {{"load"}, "'load' needs FILE"},
        {{"write", "Simulation.Bucket.Int4"}, "'Simulation.Bucket.Int4' is not ITEM=VALUE"},
        {{"write", "=5"}, "'=5'"},
        {{"status", "--server="}, "option '--server' needs a value"},
        {{"status", "--server", " "}, "'--server' needs a ProgID or class id"},
        {{"properties", ""}, "item id 1 of 'properties' is '': an item needs a name"},
        {{"read", "A", " "}, "item id 2 of 'read'"},
        {{"help", "frob"}, "no help for 'frob'"},
        {{"-s", "X"}, "no command after option '-s'"},
    };
    for (const auto &[Args, Named] : Cases) {
        const TToolRun R = Run(Args);
        SCOPED_TRACE(Args.front() + " ... " + Args.back());
        EXPECT_EQ(R.Code, cli::ExitUsage);
        EXPECT_TRUE(R.Out.empty());
        const auto ErrLines = Lines(R.Err);
        ASSERT_EQ(ErrLines.size(), 2u) << R.Err;
        EXPECT_TRUE(Contains(ErrLines[0], Named)) << ErrLines[0];
        EXPECT_TRUE(ErrLines[1].starts_with("try 'vexo-opc help")) << ErrLines[1];
    }
    EXPECT_EQ(Lines(Run({"watch", "X", "-n", "0"}).Err)[1], "try 'vexo-opc help watch'");
}

TEST_F(CommandLineTest, HelpIsPerCommandWithExamplesAndTheVersionIsPrinted) {
    // The overview lists every command; a command's help shows its own options and examples.
    for (const std::vector<std::string> &Args :
         {std::vector<std::string>{}, {"help"}, {"--help"}, {"-h"}}) {
        const TToolRun R = Run(Args);
        EXPECT_EQ(R.Code, cli::ExitSuccess);
        EXPECT_TRUE(R.Out.starts_with("usage: vexo-opc COMMAND")) << R.Out;
        EXPECT_TRUE(Contains(R.Out, "  shell ")) << R.Out;
        EXPECT_TRUE(Contains(R.Out, "3 some items failed")) << R.Out;
        EXPECT_TRUE(R.Err.empty());
    }
    for (const std::vector<std::string> &Args : {std::vector<std::string>{"help", "write"},
                                                 {"write", "--help"},
                                                 {"write", "X", "--bogus", "-h"},
                                                 {"-h", "write"}}) {
        const TToolRun R = Run(Args);
        EXPECT_EQ(R.Code, cli::ExitSuccess);
        EXPECT_TRUE(R.Out.starts_with("usage: vexo-opc write ITEM=VALUE... [OPTIONS]")) << R.Out;
        EXPECT_TRUE(Contains(R.Out, "\nExamples:\n  vexo-opc write ")) << R.Out;
        EXPECT_TRUE(Contains(R.Out, "-s,--server ID")) << R.Out;
        EXPECT_FALSE(Contains(R.Out, "--rate")) << "watch's option in write's help";
    }
    EXPECT_TRUE(Contains(Run({"help", "watch"}).Out, "-n,--count K"));
    for (const char *Flag : {"--version", "-V"}) {
        const TToolRun R = Run({"read", "X", Flag});
        EXPECT_EQ(R.Code, cli::ExitSuccess);
        EXPECT_EQ(R.Out, "vexo-opc 1.3.0\n");
    }
}

TEST_F(CommandLineTest, ShortAndLongOptionsStandBeforeOrAfterTheCommandUntilDoubleDash) {
    // "-s ID", "--name=value", options before the command, and "--" ending them all parse alike.
    const cli::TCliOptions O = cli::ParseCommandLine(
        {"--server={7E46A347-A843-44D9-B2C6-ADCF158C9B0F}", "watch", "A", "-r", "0", "-c", "plant7",
         "--seconds=2147483647", "-f", "json", "-v", "--", "--count", "-1"});
    EXPECT_EQ(O.Command, "watch");
    EXPECT_EQ(O.Args, (std::vector<std::string>{"A", "--count", "-1"}));
    EXPECT_EQ(O.Server, "{7E46A347-A843-44D9-B2C6-ADCF158C9B0F}");
    EXPECT_EQ(O.Computer, "plant7");
    EXPECT_EQ(O.Rate, 0);
    EXPECT_EQ(O.Seconds, 2147483647);
    EXPECT_EQ(O.Count, 0);
    EXPECT_EQ(O.Format, cli::TOutputFormat::Json);
    EXPECT_TRUE(O.ValueOnly);
    const cli::TCliOptions D = cli::ParseCommandLine({"read", "X"});
    EXPECT_EQ(D.Server, "Vexo.Simulation.1");
    EXPECT_EQ(D.Format, cli::TOutputFormat::Table);
    EXPECT_EQ(D.Rate, -1);
    EXPECT_TRUE(cli::ParseCommandLine({"browse", "-R"}).Recursive);
    EXPECT_TRUE(cli::ParseCommandLine({"read", "-d", "X"}).Device);
    EXPECT_TRUE(cli::ParseCommandLine({"shell", "-e"}).StopOnError);
}

TEST_F(CommandLineTest, ShellLinesSplitLikeAShellDoes) {
    // Blanks separate, both quotes group, backslashes escape, '#' comments; an open quote is
    // refused.
    EXPECT_EQ(cli::SplitShellLine(R"(  write "Simulation.Line 1.Setpoint=5"  'a b' # c)"),
              (std::vector<std::string>{"write", "Simulation.Line 1.Setpoint=5", "a b"}));
    EXPECT_EQ(cli::SplitShellLine(R"(read a\ b "x\"y" 'it''s' "" # read more)"),
              (std::vector<std::string>{"read", "a b", "x\"y", "its", ""}));
    EXPECT_TRUE(cli::SplitShellLine("   # only a comment").empty());
    EXPECT_THROW(cli::SplitShellLine("read \"open"), cli::EUsageError);
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
