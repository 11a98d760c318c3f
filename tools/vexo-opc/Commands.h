//===- Commands.h - the commands of vexo-opc -----------------------------===//
//
// One function per command. Each runs on the caller's thread with a session
// that reports the library's errors on the error stream, and returns an exit
// code; errors that end the command (connection, server, file) are raised.
//
//===----------------------------------------------------------------------===//
#pragma once

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

} // namespace vexo::cli
