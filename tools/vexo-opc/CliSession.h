//===- CliSession.h - what every vexo-opc command shares -----------------===//
//
// TCliSession routes everything the library reports while a command runs -
// a server component's OnError, its shutdown notice, ShowMessage and the
// application's exception handler - to the error stream, so no error is
// lost, and counts the reports so that a command cannot end "successfully"
// after one. It holds the connection, which a shell keeps from one command
// to the next, shows progress on a terminal, and formats error codes.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <vexo/Vexo.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/UIServices.h>

namespace vexo::cli {

struct TCliOptions;

/// Where a run reads from and what its error stream is attached to.
struct TRunEnvironment {
    /// The next line for the shell, nullopt at the end of input; Prompt is
    /// shown where the input is a terminal. Unset: lines of std::cin.
    std::function<std::optional<std::string>(const std::string &Prompt)> ReadLine;
    /// True when Err is a terminal: progress and notes for people go there.
    bool ErrIsTerminal = false;
};

/// Lives for one RunVexoOpc call on its thread; installs its handlers for
/// ShowMessage and Application->OnException and restores the previous ones.
class TCliSession {
  public:
    TCliSession(std::ostream &Out, std::ostream &Err, TRunEnvironment Env);
    ~TCliSession();
    TCliSession(const TCliSession &) = delete;
    TCliSession &operator=(const TCliSession &) = delete;

    std::ostream &Out;
    std::ostream &Err;
    const TRunEnvironment Env;
    bool InShell = false; ///< the commands run inside "vexo-opc shell"

    /// Prints "vexo-opc: Text" on Err (line ends normalised, the context in
    /// front) and counts it.
    void Report(const std::string &Text);
    /// Reports Item's LastError as "id: text (code)".
    void ReportItem(TVexoServer &Server, const TVexoItem &Item);
    /// True when Text has been reported already (the library raises after its
    /// OnError, so the exception must not be printed a second time).
    bool WasReported(const std::string &Text) const;
    int ReportCount() const { return FReportCount; }
    /// Put before every report, as "line 3: " in a shell script.
    void SetContext(std::string Context) { FContext = std::move(Context); }
    /// A hint for people, on a terminal only; not counted as a report.
    void Note(const std::string &Text);
    /// One status line on a terminal, replaced by the next one, at most ten a
    /// second; nothing where Err is a file or a pipe.
    void Progress(const std::string &Text);
    /// Clears the status line.
    void EndProgress();
    /// True once the server component got a shutdown request.
    bool ServerShutDown() const { return FServerShutDown; }

    /// A disconnected component whose events report through this session.
    std::unique_ptr<TVexoServer> NewServer();
    /// The component connected to Options.Server on Options.Computer: made on
    /// the first call, kept while it stays connected (a shell's commands share
    /// it). Raises EOPCException naming the server and the reason.
    TVexoServer &Connect(const TCliOptions &Options);
    /// Drops the connection (the end of a shell).
    void Disconnect() { FServer.reset(); }

  private:
    int FReportCount = 0;
    bool FServerShutDown = false;
    bool FProgressShown = false;
    std::chrono::steady_clock::time_point FNextProgress{};
    std::string FContext;
    std::set<std::string> FReported;
    std::unique_ptr<TVexoServer> FServer;
    TUIServices FSavedUI;
    TApplication::TExceptionEvent FSavedOnException;
};

/// True after RequestStop, until the next command starts (any thread).
bool StopRequested() noexcept;
/// Withdraws a stop request (a shell before each command).
void ClearStopRequest() noexcept;

/// Group "CLI" on a connected server for one command, with one item per id
/// (Rate in ms unless negative), added in one batch: an id the server refuses
/// stays in the group without a server handle and with its error in
/// LastError. Inactive items get no data changes, whose results would
/// overwrite what a read or write stored. The group leaves the server and the
/// component, and the default rate is restored, when this object ends.
class TCommandGroup {
  public:
    TCommandGroup(TVexoServer &Server, const std::vector<std::string> &ItemIds, std::int32_t Rate,
                  bool ItemsActive = true);
    ~TCommandGroup();
    TCommandGroup(const TCommandGroup &) = delete;
    TCommandGroup &operator=(const TCommandGroup &) = delete;
    TVexoGroup *operator->() const { return FGroup; }
    TVexoGroup &operator*() const { return *FGroup; }

  private:
    void Release() noexcept;

    TVexoServer &FServer;
    TVexoGroup *FGroup = nullptr;
    std::int32_t FSavedRate;
};

/// True when the item was added on the server.
bool IsOnServer(const TVexoItem &Item);
/// The exit code for a command over Total items of which Failed failed:
/// success, partial failure or failure.
int ItemsExitCode(int Failed, int Total);

/// The library's text for Code, else the server's, else the system's, with
/// the code in hexadecimal: "The item ID is not valid. (0xC0040008)".
std::string ErrorText(TVexoServer &Server, HRESULT Code);
/// Computer, or "this computer" for "".
std::string ComputerText(const std::string &Computer);

} // namespace vexo::cli
