//===- Shell.cpp - vexo-opc shell: many commands over one connection -----===//
//
// Reads commands line by line, from a terminal (with a prompt and, where
// main provides it, line editing) or from a script on standard input, and
// runs each in the same session: the connection made by the first command
// that needs one serves all later ones, so what one command writes the next
// one reads. A failing line is reported with its number and the shell goes
// on, unless --stop-on-error ends it there.
//
//===----------------------------------------------------------------------===//
#include <iostream>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "VexoOpc.h"

namespace vexo::cli {

namespace {

std::optional<std::string> ReadStdin(const std::string &) {
    std::string Line;
    if (!std::getline(std::cin, Line))
        return std::nullopt;
    return Line;
}

} // namespace

int RunShell(TCliSession &Session, const TCliOptions &ShellOptions) {
    Session.InShell = true;
    const auto ReadLine = Session.Env.ReadLine ? Session.Env.ReadLine : ReadStdin;
    int LineNumber = 0;
    int Last = ExitSuccess;
    while (const std::optional<std::string> Line = ReadLine("vexo> ")) {
        ++LineNumber;
        Session.SetContext("line " + std::to_string(LineNumber) + ": ");
        ClearStopRequest(); // Ctrl+C ends a watch, not the shell
        int Code = ExitSuccess;
        try {
            const std::vector<std::string> Words = SplitShellLine(*Line);
            if (Words.empty())
                continue;
            if (Words.size() == 1 && (Words[0] == "quit" || Words[0] == "exit"))
                break;
            TCliOptions Options = ParseCommandLine(Words, true);
            Options.Server = ShellOptions.Server;
            Options.Computer = ShellOptions.Computer;
            if (Options.Command.empty())
                Session.Out << Options.Text;
            else
                Code = RunCommand(Session, Options);
        } catch (const EUsageError &E) {
            Session.Err << "vexo-opc: line " << LineNumber << ": " << E.Message() << '\n'
                        << (E.Command.empty() ? "try 'help'" : "try 'help " + E.Command + "'")
                        << '\n';
            Code = ExitUsage;
        }
        Session.Out.flush();
        if (!Session.Out)
            return ExitFailure; // reported by RunVexoOpc
        if (Code != ExitSuccess) {
            Last = Code;
            if (ShellOptions.StopOnError)
                break;
        }
    }
    Session.SetContext("");
    Session.Disconnect();
    return Last;
}

} // namespace vexo::cli
