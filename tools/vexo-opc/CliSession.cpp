//===- CliSession.cpp - what every vexo-opc command shares ---------------===//
//
// The session's report routing, the server components it makes, the batch
// that adds a command's items, and the texts of values, qualities, times and
// error codes.
//
//===----------------------------------------------------------------------===//
#include "CliSession.h"

#include <vexo/platform/ErrorText.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/WideString.h>

#include "CommandLine.h"

namespace vexo::cli {

namespace {

constexpr OPCHANDLE NoHandle = static_cast<OPCHANDLE>(-1);

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

TCliSession::TCliSession(std::ostream &AOut, std::ostream &AErr) : Out(AOut), Err(AErr) {
    TUIServices Services;
    Services.ShowMessage = [this](const std::string &Text) { Report(Text); };
    FSavedUI = SetUIServices(std::move(Services));
    FSavedOnException = Application->OnException;
    Application->OnException = [this](TObject *, const Exception &E) { Report(E.Message()); };
}

TCliSession::~TCliSession() {
    Application->OnException = FSavedOnException;
    SetUIServices(FSavedUI);
}

void TCliSession::Report(const std::string &Text) {
    const std::string Line = Normalise(Text);
    FReported.insert(Line);
    ++FReportCount;
    Err << "vexo-opc: " << Line << '\n';
}

void TCliSession::ReportItem(TVexoServer &Server, const TVexoItem &Item) {
    Report(Item.ItemID() + ": " + ErrorText(Server, Item.LastError()));
}

bool TCliSession::WasReported(const std::string &Text) const {
    return FReported.count(Normalise(Text)) > 0;
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

std::unique_ptr<TVexoServer> TCliSession::Connect(const TCliOptions &Options) {
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
    return Server;
}

// --- Items ------------------------------------------------------------------------

TVexoGroup *AddItemGroup(TVexoServer &Server, const std::vector<std::string> &ItemIds,
                         std::int32_t Rate, bool ItemsActive) {
    if (Rate >= 0)
        Server.OPCGroupDefault()->UpdateRate = Rate;
    TVexoGroup *Group = Server.OPCGroups()->Add("CLI");
    Group->DefaultItem()->IsActive = ItemsActive;
    {
        TBatchScope Batch(Server);
        for (const std::string &Id : ItemIds)
            Group->OPCItems()->AddItem(Id);
    }
    TVexoItemList All(*Group->OPCItems());
    Group->OPCItems()->OPCAddItems(&All, true);
    return Group;
}

bool IsOnServer(const TVexoItem &Item) { return Item.ServerHandle() != NoHandle; }

// --- Texts ---------------------------------------------------------------------------

std::string ErrorText(TVexoServer &Server, HRESULT Code) {
    std::string Text = Trim(GetOPCErrorMessage(Code));
    if (Text.empty() && Server.HasServerIF())
        Text = Trim(Server.GetErrorString(Code));
    if (Text.empty())
        Text = Trim(platform::SystemErrorText(Code));
    return Text + " (0x" + IntToHex(static_cast<std::uint32_t>(Code), 8) + ")";
}

std::string QualityText(std::int32_t Quality) {
    const std::int32_t Status = Quality & 0xC0;
    const char *Name = Status == 0xC0 ? "good" : Status == 0x40 ? "uncertain" : "bad";
    if (Quality == Status)
        return Name;
    return std::string(Name) + " 0x" + IntToHex(static_cast<std::uint32_t>(Quality), 2);
}

std::string ComputerText(const std::string &Computer) {
    return Computer.empty() ? "this computer" : Computer;
}

std::string TimeText(TDateTime Time) { return Time == 0 ? "-" : DateTimeToStr(Time); }

void PrintValue(std::ostream &Out, const TVexoItem &Item) {
    const TVexoItemValue V = Item.Snapshot();
    Out << Item.ItemID() << " = " << VarToAStr(V.Value) << "  " << QualityText(V.Quality) << "  "
        << TimeText(V.TimeStamp) << '\n';
}

OleVariant TextToValue(const std::string &Text, VARTYPE Type) {
    if (!(Type & VT_ARRAY)) {
        const OleVariant Value(Text);
        return Type == VT_EMPTY || Type == VT_BSTR ? Value : Value.ChangeType(Type);
    }
    // "1;2;3" and "1;2;3;" (as read prints it) are the same three elements;
    // "" is the empty array and ";" one empty element.
    const std::string Body = Text.ends_with(';') ? Text.substr(0, Text.size() - 1) : Text;
    std::vector<std::string> Parts;
    for (std::size_t Start = 0; !Text.empty();) {
        const std::size_t Semi = Body.find(';', Start);
        Parts.push_back(Body.substr(Start, Semi - Start));
        if (Semi == std::string::npos)
            break;
        Start = Semi + 1;
    }
    OleVariant Result = VarArrayCreate(0, static_cast<int>(Parts.size()) - 1, Type & VT_TYPEMASK);
    for (std::size_t I = 0; I < Parts.size(); ++I)
        VarArrayPut(Result, static_cast<int>(I), OleVariant(Parts[I]));
    return Result;
}

} // namespace vexo::cli
