//===- Commands.h - the commands of vexo-opc -----------------------------===//
//
// One function per command. Each runs on the caller's thread with a session
// that reports the library's errors on the error stream, and returns an exit
// code; errors that end the command (connection, server, file) are raised.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <vector>

namespace vexo::cli {

class TCliSession;
struct TCliOptions;

int RunServers(TCliSession &Session, const TCliOptions &Options);
int RunStatus(TCliSession &Session, const TCliOptions &Options);
int RunBrowse(TCliSession &Session, const TCliOptions &Options);
int RunProperties(TCliSession &Session, const TCliOptions &Options);
int RunRead(TCliSession &Session, const TCliOptions &Options);
int RunWrite(TCliSession &Session, const TCliOptions &Options);
int RunWatch(TCliSession &Session, const TCliOptions &Options);
int RunSave(TCliSession &Session, const TCliOptions &Options);
int RunLoad(TCliSession &Session, const TCliOptions &Options);
int RunShell(TCliSession &Session, const TCliOptions &Options);

/// Runs the parsed command Options.Command in Session: its exit code, a
/// failure when it raised or when something was reported during a command
/// that would otherwise have succeeded.
int RunCommand(TCliSession &Session, const TCliOptions &Options);

/// EUsageError when one of Ids is empty: no server has an item without a name.
void RequireItemIds(const std::string &Command, const std::vector<std::string> &Ids);

} // namespace vexo::cli
