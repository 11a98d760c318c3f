//===- CliSession.h - what every vexo-opc command shares -----------------===//
//
// TCliSession routes everything the library reports while a command runs -
// a server component's OnError, its shutdown notice, ShowMessage and the
// application's exception handler - to the error stream, so no error is
// lost, and counts the reports so that a command cannot end "successfully"
// after one. It also makes the server components, adds a command's items in
// one batch, and formats values, qualities, times and error codes.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <vexo/Vexo.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/UIServices.h>

namespace vexo::cli {

struct TCliOptions;

/// Lives for one RunVexoOpc call on its thread; installs its handlers for
/// ShowMessage and Application->OnException and restores the previous ones.
class TCliSession {
  public:
    TCliSession(std::ostream &Out, std::ostream &Err);
    ~TCliSession();
    TCliSession(const TCliSession &) = delete;
    TCliSession &operator=(const TCliSession &) = delete;

    std::ostream &Out;
    std::ostream &Err;

    /// Prints "vexo-opc: Text" on Err (line ends normalised) and counts it.
    void Report(const std::string &Text);
    /// Reports Item's LastError as "id: text (code)".
    void ReportItem(TVexoServer &Server, const TVexoItem &Item);
    /// True when Text has been reported already (the library raises after its
    /// OnError, so the exception must not be printed a second time).
    bool WasReported(const std::string &Text) const;
    int ReportCount() const { return FReportCount; }
    /// True once the server component got a shutdown request.
    bool ServerShutDown() const { return FServerShutDown; }

    /// A disconnected component whose events report through this session.
    std::unique_ptr<TVexoServer> NewServer();
    /// A component connected to Options.Server on Options.Computer. Raises
    /// EOPCException for a server id that is neither a ProgID nor a class id.
    std::unique_ptr<TVexoServer> Connect(const TCliOptions &Options);

  private:
    int FReportCount = 0;
    bool FServerShutDown = false;
    std::set<std::string> FReported;
    TUIServices FSavedUI;
    TApplication::TExceptionEvent FSavedOnException;
};

/// True after RequestStop, until the next RunVexoOpc starts (any thread).
bool StopRequested() noexcept;

/// Creates group "CLI" on the connected Server with one item per id (Rate in
/// ms unless negative), added on the server in one batch: an id the server
/// refuses stays in the group without a server handle and with its error in
/// LastError, instead of ending the command. Inactive items get no data
/// changes, whose results would overwrite what a read or write stored.
TVexoGroup *AddItemGroup(TVexoServer &Server, const std::vector<std::string> &ItemIds,
                         std::int32_t Rate, bool ItemsActive = true);
/// True when the item was added on the server.
bool IsOnServer(const TVexoItem &Item);

/// The library's text for Code, else the server's, else the system's, with
/// the code in hexadecimal: "The item ID is not valid. (0xC0040008)".
std::string ErrorText(TVexoServer &Server, HRESULT Code);
/// "good", "uncertain" or "bad", with the whole code when it says more.
std::string QualityText(std::int32_t Quality);
/// Computer, or "this computer" for "".
std::string ComputerText(const std::string &Computer);
/// DateTimeToStr, or "-" for no time.
std::string TimeText(TDateTime Time);
/// Prints "id = value  quality  time" for the item's delivered fields.
void PrintValue(std::ostream &Out, const TVexoItem &Item);
/// Text converted to Type (a VARTYPE, arrays included: elements separated by
/// ';', one trailing ';' allowed). Raises EVariantError when it does not convert.
OleVariant TextToValue(const std::string &Text, VARTYPE Type);

} // namespace vexo::cli
