//===- ItemCommands.cpp - read, write and watch --------------------------===//
//
// The commands that move item values. Each adds its items to group "CLI" in
// one batch, reports every item the server refused with the server's reason
// and goes on with the others; any refused or failed item makes the exit
// code a failure.
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <chrono>
#include <vector>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "VexoOpc.h"

namespace vexo::cli {

namespace {

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
            throw EUsageError("argument '" + Arg + "' is not ITEM=VALUE");
        Writes.push_back({Arg.substr(0, Eq), Arg.substr(Eq + 1)});
    }
    return Writes;
}

} // namespace

int RunRead(TCliSession &Session, const TCliOptions &Options) {
    std::unique_ptr<TVexoServer> Server = Session.Connect(Options);
    TVexoGroup *Group = AddItemGroup(*Server, Options.Args, -1);
    RequireSyncIO(*Group, Options);
    TVexoItems &Items = *Group->OPCItems();
    TVexoItemList Readable;
    for (int I = 0; I < Items.Count(); ++I)
        if (IsOnServer(*Items.GetItem(I)))
            Readable.AddItem(Items.GetItem(I));
    if (Readable.Count() > 0) {
        if (!Options.Device)
            AwaitFirstValues(*Server, Readable);
        Group->SyncRead(&Readable, !Options.Device);
    }

    int Failed = 0;
    for (int I = 0; I < Items.Count(); ++I) {
        const TVexoItem &Item = *Items.GetItem(I);
        if (Item.LastError() != 0 || !IsOnServer(Item)) {
            Session.ReportItem(*Server, Item);
            ++Failed;
        } else {
            PrintValue(Session.Out, Item);
        }
    }
    return Failed == 0 ? ExitSuccess : ExitFailure;
}

int RunWrite(TCliSession &Session, const TCliOptions &Options) {
    const std::vector<TWriteRequest> Writes = ParseWrites(Options.Args);
    std::vector<std::string> Ids;
    for (const TWriteRequest &W : Writes)
        Ids.push_back(W.ItemId);
    std::unique_ptr<TVexoServer> Server = Session.Connect(Options);
    // Inactive items: a data change arriving between the write and the report
    // would replace the write's result codes with its own.
    TVexoGroup *Group = AddItemGroup(*Server, Ids, -1, false);
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
            Item.SetWriteValue(
                TextToValue(Writes[I].Text, static_cast<VARTYPE>(Item.CanonicalDatatype())));
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
            Session.ReportItem(*Server, Item);
        } else {
            Written[I] = true;
            if (Item.AccessRights() & OPC_READABLE)
                ReadBack.AddItem(&Item);
            continue;
        }
        ++Failed;
    }
    // What the device holds now shows what the server made of a value (a
    // clamp, a rounding); the write's own answer does not tell.
    bool ReadBackDone = false;
    if (ReadBack.Count() > 0) {
        try {
            Group->SyncRead(&ReadBack, false);
            ReadBackDone = true;
        } catch (const Exception &E) {
            Session.Report("the written values cannot be read back: " + E.Message());
        }
    }
    for (int I = 0; I < Items.Count(); ++I) {
        if (!Written[I])
            continue;
        const TVexoItem &Item = *Items.GetItem(I);
        Session.Out << Item.ItemID() << " = " << VarToAStr(Item.WriteValue()) << "  written";
        if (ReadBackDone && ReadBack.IndexOf(&Item) >= 0) {
            const TVexoItemValue Now = Item.Snapshot();
            if (Now.LastError != 0)
                Session.Out << ", cannot be read back: " << ErrorText(*Server, Now.LastError);
            else
                Session.Out << ", reads " << VarToAStr(Now.Value) << "  "
                            << QualityText(Now.Quality);
        }
        Session.Out << '\n';
    }
    return Failed == 0 ? ExitSuccess : ExitFailure;
}

namespace {

/// A watch rides out server restarts and lost connections: the component
/// reconnects by itself and each step is printed as a "-- " line.
void WatchConnection(TCliSession &Session, TVexoServer &Server) {
    Server.OnConnectionState = [&Session, &Server](TObject *, TVexoConnectionState State,
                                                   int Attempt, int NextDelay) {
        Session.Out << "-- " << ConnectionStateToStr(State);
        if (State == conReconnecting) {
            Session.Out << ": attempt " << Attempt << " in " << NextDelay << " ms";
            if (!Server.ReconnectError().empty())
                Session.Out << " (" << Server.ReconnectError() << ")";
        } else if (State == conReconnected || State == conGivenUp) {
            Session.Out << " after " << Attempt << (Attempt == 1 ? " attempt" : " attempts");
        }
        Session.Out << '\n';
        Session.Out.flush();
    };
    Server.SetReconnectDelay(1000);
    Server.SetReconnectMaxDelay(30000);
    Server.SetKeepAliveInterval(5000);
    Server.SetAutoReconnect(true);
}

} // namespace

int RunWatch(TCliSession &Session, const TCliOptions &Options) {
    using namespace std::chrono;
    std::unique_ptr<TVexoServer> Server = Session.Connect(Options);
    WatchConnection(Session, *Server);
    int Changes = 0;
    const auto LimitReached = [&] { return Options.Count > 0 && Changes >= Options.Count; };
    Server->OnDatachange = [&](TObject *, TVexoItemList *List) {
        for (int I = 0; I < List->Count() && !LimitReached(); ++I) {
            PrintValue(Session.Out, *List->GetItem(I));
            ++Changes;
        }
        Session.Out.flush(); // a watch is read as it happens
    };
    TVexoGroup *Group = AddItemGroup(*Server, Options.Args, Options.Rate);
    const int Refused = ReportRefused(Session, *Server, *Group);
    if (Refused == Group->OPCItems()->Count())
        return ExitFailure;

    const auto Done = [&] {
        return LimitReached() || StopRequested() ||
               (!Server->Active() && !Server->ReconnectPending());
    };
    const milliseconds Limit = Options.Seconds > 0
                                   ? duration_cast<milliseconds>(seconds(Options.Seconds))
                                   : milliseconds::max(); // until stopped
    Application->ProcessMessagesUntil(Done, Limit);
    Server->OnDatachange = nullptr;
    return Refused == 0 && !Session.ServerShutDown() ? ExitSuccess : ExitFailure;
}

} // namespace vexo::cli
