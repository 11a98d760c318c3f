//===- CliSession.cpp - what every vexo-opc command shares ---------------===//
//
// The session's report routing, the connection it holds, progress on a
// terminal, the group a command adds its items to, and error code texts.
//
//===----------------------------------------------------------------------===//
#include "CliSession.h"

#include <vexo/platform/ErrorText.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/WideString.h>

#include "CommandLine.h"
#include "VexoOpc.h"

namespace vexo::cli {

namespace {

constexpr OPCHANDLE NoHandle = static_cast<OPCHANDLE>(-1);
constexpr const char *CommandGroupName = "CLI";

/// Library texts end lines with "\r\n" and often with one more: one "\n" each,
/// nothing trailing.
std::string Normalise(const std::string &Text) {
    return TrimRight(StringReplaceAll(Text, "\r\n", "\n"));
}

/// Keeps BatchMode on for its lifetime, so that items are only added locally.
class TBatchScope {
  public:
    explicit TBatchScope(TVexoServer &Server) : FServer(Server), FWas(Server.BatchMode()) {
        FServer.SetBatchMode(true);
    }
    ~TBatchScope() { FServer.SetBatchMode(FWas); }
    TBatchScope(const TBatchScope &) = delete;
    TBatchScope &operator=(const TBatchScope &) = delete;

  private:
    TVexoServer &FServer;
    bool FWas;
};

} // namespace

// --- TCliSession --------------------------------------------------------------

TCliSession::TCliSession(std::ostream &AOut, std::ostream &AErr, TRunEnvironment AEnv)
    : Out(AOut), Err(AErr), Env(std::move(AEnv)) {
    TUIServices Services;
    Services.ShowMessage = [this](const std::string &Text) { Report(Text); };
    FSavedUI = SetUIServices(std::move(Services));
    FSavedOnException = Application->OnException;
    Application->OnException = [this](TObject *, const Exception &E) { Report(E.Message()); };
}

TCliSession::~TCliSession() {
    FServer.reset(); // while the session's handlers still take what disconnecting reports
    EndProgress();
    Application->OnException = FSavedOnException;
    SetUIServices(FSavedUI);
}

void TCliSession::Report(const std::string &Text) {
    EndProgress();
    const std::string Line = Normalise(Text);
    FReported.insert(Line);
    ++FReportCount;
    Err << "vexo-opc: " << FContext << Line << '\n';
}

void TCliSession::ReportItem(TVexoServer &Server, const TVexoItem &Item) {
    Report(Item.ItemID() + ": " + ErrorText(Server, Item.LastError()));
}

bool TCliSession::WasReported(const std::string &Text) const {
    return FReported.count(Normalise(Text)) > 0;
}

void TCliSession::Note(const std::string &Text) {
    if (!Env.ErrIsTerminal)
        return;
    EndProgress();
    Err << "vexo-opc: note: " << Text << '\n';
}

void TCliSession::Progress(const std::string &Text) {
    if (!Env.ErrIsTerminal)
        return;
    const auto Now = std::chrono::steady_clock::now();
    if (Now < FNextProgress)
        return;
    FNextProgress = Now + std::chrono::milliseconds(100);
    Err << "\r\033[K" << Text << std::flush;
    FProgressShown = true;
}

void TCliSession::EndProgress() {
    if (!FProgressShown)
        return;
    Err << "\r\033[K" << std::flush;
    FProgressShown = false;
    FNextProgress = {};
}

std::unique_ptr<TVexoServer> TCliSession::NewServer() {
    auto Server = std::make_unique<TVexoServer>(nullptr);
    Server->SetClientName("vexo-opc");
    // Reported here, raised by the library all the same: where it keeps the
    // error quiet (a refused browse move) the report is all there is.
    Server->OnError = [this](TObject *, const std::string &Text, bool &) { Report(Text); };
    Server->OnServerShutdown = [this](TObject *, const std::string &Reason) {
        FServerShutDown = true;
        Report("the server shuts down" + (Reason.empty() ? std::string() : ": " + Reason));
    };
    return Server;
}

TVexoServer &TCliSession::Connect(const TCliOptions &Options) {
    if (FServer && FServer->Active())
        return *FServer;
    FServer.reset();
    // The library's own text for this case ("first define servername") would
    // not tell the user that the id itself is unknown.
    const platform::WideString Id = platform::Utf8ToUtf16(Options.Server);
    CLSID ClassID{};
    if (platform::CLSIDFromProgID(Id.c_str(), &ClassID) != S_OK &&
        platform::CLSIDFromString(Id.c_str(), &ClassID) != S_OK)
        throw EOPCException("unknown server '" + Options.Server +
                            "': neither a registered ProgID nor a {class id}");
    std::unique_ptr<TVexoServer> Server = NewServer();
    try {
        Server->Connect(Options.Server, Options.Computer);
    } catch (const Exception &E) {
        if (WasReported(E.Message()))
            throw;
        // The platform's text ("Class not registered") names neither server nor computer.
        throw EOPCException("cannot connect to " + Options.Server + " on " +
                            ComputerText(Options.Computer) + ": " + E.Message());
    }
    FServer = std::move(Server);
    return *FServer;
}

// --- TCommandGroup ---------------------------------------------------------------

TCommandGroup::TCommandGroup(TVexoServer &Server, const std::vector<std::string> &ItemIds,
                             std::int32_t Rate, bool ItemsActive)
    : FServer(Server), FSavedRate(Server.OPCGroupDefault()->UpdateRate) {
    if (Rate >= 0)
        Server.OPCGroupDefault()->UpdateRate = Rate;
    try {
        FGroup = Server.OPCGroups()->Add(CommandGroupName);
        FGroup->DefaultItem()->IsActive = ItemsActive;
        {
            TBatchScope Batch(Server);
            for (const std::string &Id : ItemIds)
                FGroup->OPCItems()->AddItem(Id);
        }
        TVexoItemList All(*FGroup->OPCItems());
        FGroup->OPCItems()->OPCAddItems(&All, true);
    } catch (...) {
        Release();
        throw;
    }
}

TCommandGroup::~TCommandGroup() { Release(); }

void TCommandGroup::Release() noexcept {
    FServer.OPCGroupDefault()->UpdateRate = FSavedRate;
    if (!FGroup)
        return;
    // The server may be gone; what removing reports went to the session already.
    try {
        const int Index = FServer.OPCGroups()->Exists(CommandGroupName);
        if (Index >= 0)
            FServer.OPCGroups()->Delete(Index);
    } catch (const std::exception &) {
    }
    FGroup = nullptr;
}

bool IsOnServer(const TVexoItem &Item) { return Item.ServerHandle() != NoHandle; }

int ItemsExitCode(int Failed, int Total) {
    if (Failed == 0)
        return ExitSuccess;
    return Failed < Total ? ExitPartial : ExitFailure;
}

// --- Texts ---------------------------------------------------------------------------

std::string ErrorText(TVexoServer &Server, HRESULT Code) {
    std::string Text = Trim(GetOPCErrorMessage(Code));
    if (Text.empty() && Server.HasServerIF())
        Text = Trim(Server.GetErrorString(Code));
    if (Text.empty())
        Text = Trim(platform::SystemErrorText(Code));
    return Text + " (0x" + IntToHex(static_cast<std::uint32_t>(Code), 8) + ")";
}

std::string ComputerText(const std::string &Computer) {
    return Computer.empty() ? "this computer" : Computer;
}

} // namespace vexo::cli
