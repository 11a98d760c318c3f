//===- CommandLine.h - the command line of vexo-opc, parsed and checked ---===//
//
// ParseCommandLine turns the arguments into a TCliOptions: the command, its
// positional arguments and the options, each checked against what the
// command accepts. Every mistake raises EUsageError with a one-line text
// naming the offending argument.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <vexo/framework/SysUtils.h>

namespace vexo::cli {

/// A command line that cannot be run; the message names the offending input.
VEXO_DECLARE_EXCEPTION(EUsageError, Exception);

/// The options, as bits of TCliCommand::Options.
enum TCliOption : unsigned {
    optServer = 1u << 0,
    optComputer = 1u << 1,
    optRecursive = 1u << 2,
    optDevice = 1u << 3,
    optRate = 1u << 4,
    optSeconds = 1u << 5,
    optCount = 1u << 6,
};

struct TCliOptions;
class TCliSession;

/// One command: its name, how many positional arguments it takes (MaxArgs -1
/// for any number), the options it accepts and the function that runs it.
struct TCliCommand {
    std::string_view Name;
    std::string_view Synopsis;
    int MinArgs;
    int MaxArgs;
    unsigned Options;
    int (*Run)(TCliSession &Session, const TCliOptions &Options);
};

/// A parsed command line. Command is nullptr when help was asked for.
struct TCliOptions {
    const TCliCommand *Command = nullptr;
    std::vector<std::string> Args;
    std::string Server = "Vexo.Simulation.1";
    std::string Computer; ///< "" is the local computer
    bool Recursive = false;
    bool Device = false;
    std::int32_t Rate = -1;   ///< milliseconds; -1 when not given
    std::int32_t Seconds = 0; ///< 0 when not given
    std::int32_t Count = 0;   ///< 0 when not given
};

/// Parses Args (without the program name); raises EUsageError.
TCliOptions ParseCommandLine(const std::vector<std::string> &Args);

/// The usage text printed by help.
std::string UsageText();

} // namespace vexo::cli
