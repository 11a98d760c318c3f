//===- VexoOpc.h - the vexo-opc command-line client, callable in-process --===//
//
// RunVexoOpc runs one vexo-opc command line against an OPC DA server and
// writes what it finds to Out and what went wrong to Err. It registers the
// embedded simulation servers first, so Vexo.Simulation.1 (the default) and
// Vexo.Simulation.DA10.1 are always there on the local computer.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "CliSession.h"

namespace vexo::cli {

/// Exit codes of RunVexoOpc.
constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1; ///< the server, an item, a file or the output failed
constexpr int ExitUsage = 2;   ///< the command line was wrong
constexpr int ExitPartial = 3; ///< some items failed, the others succeeded

/// Runs the command line Args (without the program name). Owner thread: the
/// components it creates belong to the calling thread, which must be the one
/// that drains vexo::Application. Never raises. Out is flushed at the end; an
/// output that cannot be written makes the run fail.
int RunVexoOpc(const std::vector<std::string> &Args, std::ostream &Out, std::ostream &Err,
               const TRunEnvironment &Env = {});

/// Makes a running watch end as if its time were up (any thread, also a
/// signal handler). The request holds until the next command starts.
void RequestStop() noexcept;

} // namespace vexo::cli
