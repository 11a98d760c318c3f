//===- CommandLine.h - the command line of vexo-opc, parsed and checked ---===//
//
// ParseCommandLine turns the arguments into a TCliOptions: the command, its
// positional arguments and the options, each checked against what the
// command accepts and against the ranges the server and a configuration file
// hold. Every mistake raises EUsageError with a one-line text naming the
// offending argument. Help and the version are not mistakes: they come back
// as the text to print.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <vexo/framework/SysUtils.h>

namespace vexo::cli {

/// A command line that cannot be run; the message names the offending input.
class EUsageError : public Exception {
  public:
    EUsageError(const std::string &Message, std::string ACommand = {})
        : Exception(Message), Command(std::move(ACommand)) {}
    std::string Command; ///< the command whose help tells more; "" for the program
};

enum class TOutputFormat { Table, Csv, Json };

/// A parsed command line. Command is "" when Text (help or the version) is
/// all there is to print.
struct TCliOptions {
    std::string Command;
    std::string Text;
    std::vector<std::string> Args;
    std::string Server = "Vexo.Simulation.1";
    std::string Computer; ///< "" is the local computer
    bool Recursive = false;
    bool Device = false;
    bool ValueOnly = false;
    bool StopOnError = false;
    TOutputFormat Format = TOutputFormat::Table;
    std::int32_t Rate = -1;   ///< milliseconds; -1 when not given
    std::int32_t Seconds = 0; ///< 0 when not given
    std::int32_t Count = 0;   ///< 0 when not given
};

/// Parses Args (without the program name); raises EUsageError. InShell parses
/// one line of "vexo-opc shell": no shell within it, no server or computer
/// of its own (the shell's connection serves every line).
TCliOptions ParseCommandLine(const std::vector<std::string> &Args, bool InShell = false);

/// The overview printed by "vexo-opc help".
std::string UsageText();

/// "vexo-opc 1.3.0".
std::string VersionText();

/// Splits one shell line into words: blanks separate, '...' and "..." quote
/// (a backslash escapes the next character outside '...'), '#' at the start
/// of a word begins a comment. Raises EUsageError for an open quote.
std::vector<std::string> SplitShellLine(const std::string &Line);

} // namespace vexo::cli
