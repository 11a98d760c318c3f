//===- ItemCommands.cpp - read, write and watch --------------------------===//
//
// The commands that move item values. Each adds its items to group "CLI" in
// one batch, reports every item the server refused with the server's reason
// and goes on with the others: all items failing is a failure, some of them
// a partial failure.
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <chrono>
#include <vector>

#include <vexo/VexoSimulation.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/WideString.h>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "RecordWriter.h"
#include "VexoOpc.h"

namespace vexo::cli {

namespace {

const std::vector<std::string> ValueColumns = {"item",    "value",        "type",
                                               "quality", "quality_code", "timestamp"};

/// Reports every item of Group that is not on the server; returns their number.
int ReportRefused(TCliSession &Session, TVexoServer &Server, const TVexoGroup &Group) {
    int Refused = 0;
    for (int I = 0; I < Group.OPCItems()->Count(); ++I) {
        const TVexoItem &Item = *Group.OPCItems()->GetItem(I);
        if (!IsOnServer(Item)) {
            Session.ReportItem(Server, Item);
            ++Refused;
        }
    }
    return Refused;
}

/// Without IOPCSyncIO the group's reads and writes do nothing and say nothing.
void RequireSyncIO(const TVexoGroup &Group, const TCliOptions &Options) {
    if (!Group.SyncIO())
        throw EOPCException("server '" + Options.Server +
                            "' offers no synchronous reads and writes");
}

/// Waits until the server has sent a first value of every readable item of
/// Items (or a few seconds have passed): a server acquires the values of newly
/// added items at its own pace, and until then its cache has nothing to give.
void AwaitFirstValues(TVexoServer &Server, const TVexoItemList &Items) {
    std::vector<const TVexoItem *> Waiting;
    for (int I = 0; I < Items.Count(); ++I)
        if (Items.GetItem(I)->AccessRights() & OPC_READABLE)
            Waiting.push_back(Items.GetItem(I));
    if (Waiting.empty())
        return;
    Server.OnDatachange = [&Waiting](TObject *, TVexoItemList *List) {
        for (int I = 0; I < List->Count(); ++I)
            std::erase(Waiting, List->GetItem(I));
    };
    Application->ProcessMessagesUntil([&] { return Waiting.empty() || !Server.Active(); },
                                      std::chrono::seconds(3));
    Server.OnDatachange = nullptr;
}

/// The row of ValueColumns for what Item holds now.
std::vector<TCell> ValueRow(const TVexoItem &Item) {
    const TVexoItemValue V = Item.Snapshot();
    const std::int32_t Type =
        V.Value.VarType() == VT_EMPTY ? Item.CanonicalDatatype() : V.Value.VarType();
    return {Item.ItemID(), ValueToCell(V.Value),   TypeName(Type), QualityName(V.Quality),
            V.Quality,     TimeToCell(V.TimeStamp)};
}

struct TWriteRequest {
    std::string ItemId;
    std::string Text;
};

/// ITEM=VALUE pairs, split at the first '=' (values may contain more).
std::vector<TWriteRequest> ParseWrites(const std::vector<std::string> &Args) {
    std::vector<TWriteRequest> Writes;
    for (const std::string &Arg : Args) {
        const std::size_t Eq = Arg.find('=');
        if (Eq == std::string::npos || Eq == 0)
            throw EUsageError("argument '" + Arg + "' is not ITEM=VALUE", "write");
        Writes.push_back({Arg.substr(0, Eq), Arg.substr(Eq + 1)});
    }
    return Writes;
}

/// True for the embedded simulation servers, which live only as long as
/// their connection.
bool IsEmbeddedSimulation(const TCliOptions &Options) {
    const platform::WideString Id = platform::Utf8ToUtf16(Options.Server);
    CLSID ClassID{};
    if (platform::CLSIDFromProgID(Id.c_str(), &ClassID) != S_OK &&
        platform::CLSIDFromString(Id.c_str(), &ClassID) != S_OK)
        return false;
    return Options.Computer.empty() &&
           (ClassID == CLSID_VexoSimulation || ClassID == CLSID_VexoSimulationDA10);
}

} // namespace

int RunRead(TCliSession &Session, const TCliOptions &Options) {
    RequireItemIds("read", Options.Args);
    TVexoServer &Server = Session.Connect(Options);
    TCommandGroup Group(Server, Options.Args, -1);
    RequireSyncIO(*Group, Options);
    TVexoItems &Items = *Group->OPCItems();
    TVexoItemList Readable;
    for (int I = 0; I < Items.Count(); ++I)
        if (IsOnServer(*Items.GetItem(I)))
            Readable.AddItem(Items.GetItem(I));
    if (Readable.Count() > 0) {
        if (!Options.Device)
            AwaitFirstValues(Server, Readable);
        Group->SyncRead(&Readable, !Options.Device);
    }

    TRecordWriter Writer(Session.Out, Options, ValueColumns);
    int Failed = 0;
    for (int I = 0; I < Items.Count(); ++I) {
        const TVexoItem &Item = *Items.GetItem(I);
        if (Item.LastError() != 0 || !IsOnServer(Item)) {
            Session.ReportItem(Server, Item);
            ++Failed;
        } else {
            Writer.Add(ValueRow(Item));
        }
    }
    Writer.Finish();
    return ItemsExitCode(Failed, Items.Count());
}

int RunWrite(TCliSession &Session, const TCliOptions &Options) {
    const std::vector<TWriteRequest> Writes = ParseWrites(Options.Args);
    std::vector<std::string> Ids;
    for (const TWriteRequest &W : Writes)
        Ids.push_back(W.ItemId);
    TVexoServer &Server = Session.Connect(Options);
    // Inactive items: a data change arriving between the write and the report
    // would replace the write's result codes with its own.
    TCommandGroup Group(Server, Ids, -1, false);
    RequireSyncIO(*Group, Options);

    // Every value is converted first; the convertible ones go in one write.
    // Failures are reported afterwards, in the order the items were given.
    TVexoItems &Items = *Group->OPCItems();
    std::vector<std::string> NotConverted(Writes.size());
    TVexoItemList Batch;
    for (int I = 0; I < Items.Count(); ++I) {
        TVexoItem &Item = *Items.GetItem(I);
        if (!IsOnServer(Item))
            continue;
        try {
            Item.SetWriteValue(TextToValue(Writes[I].Text, Item.CanonicalDatatype()));
        } catch (const Exception &E) {
            NotConverted[I] = E.Message();
            continue;
        }
        Batch.AddItem(&Item);
    }
    if (Batch.Count() > 0)
        Group->SyncWrite(&Batch);

    std::vector<bool> Written(Writes.size(), false);
    TVexoItemList ReadBack;
    int Failed = 0;
    for (int I = 0; I < Items.Count(); ++I) {
        TVexoItem &Item = *Items.GetItem(I);
        if (!NotConverted[I].empty()) {
            Session.Report(Item.ItemID() + ": " + NotConverted[I]);
        } else if (!IsOnServer(Item) || Item.LastError() != 0) {
            Session.ReportItem(Server, Item);
        } else {
            Written[I] = true;
            if (Item.AccessRights() & OPC_READABLE)
                ReadBack.AddItem(&Item);
            continue;
        }
        ++Failed;
    }
    // What the device holds now shows what the server made of a value (a
    // clamp, a rounding); the write's own answer does not tell. The values
    // were written all the same, so a failed read-back is no failed write.
    bool ReadBackDone = false;
    if (ReadBack.Count() > 0) {
        try {
            Group->SyncRead(&ReadBack, false);
            ReadBackDone = true;
        } catch (const Exception &E) {
            Session.Err << "vexo-opc: the written values cannot be read back: " << E.Message()
                        << '\n';
        }
    }
    TRecordWriter Writer(Session.Out, Options,
                         {"item", "written", "value", "quality", "timestamp"});
    for (int I = 0; I < Items.Count(); ++I) {
        if (!Written[I])
            continue;
        const TVexoItem &Item = *Items.GetItem(I);
        std::vector<TCell> Row = {Item.ItemID(), ValueToCell(Item.WriteValue()), nullptr, nullptr,
                                  nullptr};
        if (ReadBackDone && ReadBack.IndexOf(&Item) >= 0) {
            const TVexoItemValue Now = Item.Snapshot();
            if (Now.LastError != 0) {
                Session.Err << "vexo-opc: " << Item.ItemID()
                            << ": written, but cannot be read back: "
                            << ErrorText(Server, Now.LastError) << '\n';
            } else {
                Row[2] = ValueToCell(Now.Value);
                Row[3] = QualityName(Now.Quality);
                Row[4] = TimeToCell(Now.TimeStamp);
            }
        }
        Writer.Add(std::move(Row));
    }
    Writer.Finish();
    if (!Session.InShell && Failed < Items.Count() && IsEmbeddedSimulation(Options))
        Session.Note("this run's simulation server ends with it, and the written values with "
                     "it; 'vexo-opc shell' keeps one server for many commands");
    return ItemsExitCode(Failed, Items.Count());
}

namespace {

/// A watch rides out server restarts and lost connections: the component
/// reconnects by itself and each step is printed as a "-- " line, among the
/// values in a table and on standard error for CSV and JSON, whose records
/// stay parseable.
void WatchConnection(TCliSession &Session, TVexoServer &Server, const TCliOptions &Options) {
    std::ostream &States = Options.Format == TOutputFormat::Table ? Session.Out : Session.Err;
    Server.OnConnectionState = [&States, &Server](TObject *, TVexoConnectionState State,
                                                  int Attempt, int NextDelay) {
        States << "-- " << ConnectionStateToStr(State);
        if (State == conReconnecting) {
            States << ": attempt " << Attempt << " in " << NextDelay << " ms";
            if (!Server.ReconnectError().empty())
                States << " (" << Server.ReconnectError() << ")";
        } else if (State == conReconnected || State == conGivenUp) {
            States << " after " << Attempt << (Attempt == 1 ? " attempt" : " attempts");
        }
        States << '\n';
        States.flush();
    };
    Server.SetReconnectDelay(1000);
    Server.SetReconnectMaxDelay(30000);
    Server.SetKeepAliveInterval(5000);
    Server.SetAutoReconnect(true);
}

} // namespace

int RunWatch(TCliSession &Session, const TCliOptions &Options) {
    using namespace std::chrono;
    RequireItemIds("watch", Options.Args);
    TVexoServer &Server = Session.Connect(Options);
    WatchConnection(Session, Server, Options);
    TRecordWriter Writer(Session.Out, Options, ValueColumns, TRecordLayout::Stream);
    std::size_t Widest = 0;
    for (const std::string &Id : Options.Args)
        Widest = std::max(Widest, DisplayWidth(Id));
    Writer.ReserveWidth(0, Widest);

    int Changes = 0;
    const auto LimitReached = [&] { return Options.Count > 0 && Changes >= Options.Count; };
    Server.OnDatachange = [&](TObject *, TVexoItemList *List) {
        for (int I = 0; I < List->Count() && !LimitReached() && Session.Out; ++I) {
            Writer.Add(ValueRow(*List->GetItem(I)));
            ++Changes;
        }
    };
    // A shell goes on with the same component after the watch: it gets its
    // handlers and its plain connection back.
    struct TUnhook {
        TVexoServer &Server;
        ~TUnhook() {
            Server.OnDatachange = nullptr;
            Server.OnConnectionState = nullptr;
            Server.SetAutoReconnect(false);
        }
    } Unhook{Server};

    TCommandGroup Group(Server, Options.Args, Options.Rate);
    const int Refused = ReportRefused(Session, Server, *Group);
    const int Total = Group->OPCItems()->Count();
    if (Refused == Total)
        return ExitFailure;

    // An output that cannot take more (a full disk) ends the watch too.
    const auto Done = [&] {
        return LimitReached() || StopRequested() ||
               (!Server.Active() && !Server.ReconnectPending()) || !Session.Out;
    };
    const milliseconds Limit = Options.Seconds > 0
                                   ? duration_cast<milliseconds>(seconds(Options.Seconds))
                                   : milliseconds::max(); // until stopped
    Application->ProcessMessagesUntil(Done, Limit);
    if (Session.ServerShutDown())
        return ExitFailure;
    return ItemsExitCode(Refused, Total);
}

} // namespace vexo::cli
