//===- VexoOpc.cpp - one vexo-opc command line, run in-process ------------===//
//
// RunVexoOpc parses the command line, runs the command inside a session and
// turns what went wrong into the exit code: usage errors 2, everything the
// server, an item or a file refused 1, also when the library only reported
// it (a command cannot succeed after a report).
//
//===----------------------------------------------------------------------===//
#include "VexoOpc.h"

#include <atomic>
#include <ostream>

#include <vexo/VexoSimulation.h>

#include "CliSession.h"
#include "CommandLine.h"

namespace vexo::cli {

namespace {
std::atomic<bool> GStopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
} // namespace

void RequestStop() noexcept { GStopRequested.store(true); }

bool StopRequested() noexcept { return GStopRequested.load(); }

int RunVexoOpc(const std::vector<std::string> &Args, std::ostream &Out, std::ostream &Err) {
    GStopRequested.store(false);
    try {
        const TCliOptions Options = ParseCommandLine(Args);
        if (!Options.Command) {
            Out << UsageText();
            return ExitSuccess;
        }
        RegisterSimulationServers();
        TCliSession Session(Out, Err);
        try {
            const int Code = Options.Command->Run(Session, Options);
            return Code == ExitSuccess && Session.ReportCount() > 0 ? ExitFailure : Code;
        } catch (const EUsageError &) {
            throw;
        } catch (const std::exception &E) {
            if (!Session.WasReported(E.what()))
                Session.Report(E.what());
            return ExitFailure;
        }
    } catch (const EUsageError &E) {
        Err << "vexo-opc: " << E.Message() << "\ntry 'vexo-opc help'\n";
        return ExitUsage;
    } catch (const std::exception &E) {
        Err << "vexo-opc: " << E.what() << '\n';
        return ExitFailure;
    } catch (...) {
        Err << "vexo-opc: unknown error\n";
        return ExitFailure;
    }
}

} // namespace vexo::cli
