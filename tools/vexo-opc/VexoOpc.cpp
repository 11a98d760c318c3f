//===- VexoOpc.cpp - one vexo-opc command line, run in-process ------------===//
//
// RunVexoOpc parses the command line, runs the command inside a session and
// turns what went wrong into the exit code: usage errors 2, everything the
// server, an item, a file or the output refused 1 (also when the library
// only reported it: a command cannot succeed after a report), 3 when some
// items failed and the others succeeded.
//
//===----------------------------------------------------------------------===//
#include "VexoOpc.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ostream>

#include <vexo/VexoSimulation.h>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"

namespace vexo::cli {

namespace {

std::atomic<bool> GStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

struct TCommandEntry {
    const char *Name;
    int (*Run)(TCliSession &Session, const TCliOptions &Options);
};

constexpr TCommandEntry CommandTable[] = {
    {"servers", RunServers},       {"status", RunStatus}, {"browse", RunBrowse},
    {"properties", RunProperties}, {"read", RunRead},     {"write", RunWrite},
    {"watch", RunWatch},           {"save", RunSave},     {"load", RunLoad},
    {"shell", RunShell},
};

/// Flushes Out; when it cannot take what was written, says so and fails.
int CheckOutput(std::ostream &Out, std::ostream &Err, int Code) {
    errno = 0;
    Out.flush();
    if (Out)
        return Code;
    const int Errno = errno;
    Err << "vexo-opc: cannot write the output" << (Errno ? ": " : "")
        << (Errno ? std::strerror(Errno) : "") << '\n';
    return Code == ExitUsage ? Code : ExitFailure;
}

} // namespace

void RequestStop() noexcept { GStopRequested.store(true); }

bool StopRequested() noexcept { return GStopRequested.load(); }

void ClearStopRequest() noexcept { GStopRequested.store(false); }

std::string UsageHint(const std::string &Command) {
    return Command.empty() ? "try 'vexo-opc help'" : "try 'vexo-opc help " + Command + "'";
}

void RequireItemIds(const std::string &Command, const std::vector<std::string> &Ids) {
    for (std::size_t I = 0; I < Ids.size(); ++I)
        if (Trim(Ids[I]).empty())
            throw EUsageError("item id " + std::to_string(I + 1) + " of '" + Command + "' is '" +
                                  Ids[I] + "': an item needs a name",
                              Command);
}

int RunCommand(TCliSession &Session, const TCliOptions &Options) {
    const int ReportsBefore = Session.ReportCount();
    try {
        for (const TCommandEntry &C : CommandTable)
            if (Options.Command == C.Name) {
                const int Code = C.Run(Session, Options);
                return Code == ExitSuccess && Session.ReportCount() > ReportsBefore ? ExitFailure
                                                                                    : Code;
            }
        throw EUsageError("unknown command '" + Options.Command + "'");
    } catch (const EUsageError &) {
        throw;
    } catch (const std::exception &E) {
        Session.EndProgress();
        if (!Session.WasReported(E.what()))
            Session.Report(E.what());
        return ExitFailure;
    }
}

int RunVexoOpc(const std::vector<std::string> &Args, std::ostream &Out, std::ostream &Err,
               const TRunEnvironment &Env) {
    ClearStopRequest();
    int Code = ExitFailure;
    try {
        const TCliOptions Options = ParseCommandLine(Args);
        if (Options.Command.empty()) {
            Out << Options.Text;
            Code = ExitSuccess;
        } else {
            RegisterSimulationServers();
            TCliSession Session(Out, Err, Env);
            Code = RunCommand(Session, Options);
        }
    } catch (const EUsageError &E) {
        Err << "vexo-opc: " << E.Message() << '\n' << UsageHint(E.Command) << '\n';
        Code = ExitUsage;
    } catch (const std::exception &E) {
        Err << "vexo-opc: " << E.what() << '\n';
        Code = ExitFailure;
    } catch (...) {
        Err << "vexo-opc: unknown error\n";
        Code = ExitFailure;
    }
    return CheckOutput(Out, Err, Code);
}

} // namespace vexo::cli
