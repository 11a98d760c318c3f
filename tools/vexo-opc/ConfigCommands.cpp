//===- ConfigCommands.cpp - save and load --------------------------------===//
//
// save connects, builds group "CLI" with the given items and writes the
// component with SaveToFile; an item the server refuses is reported and
// nothing is written, so a saved file always names items that existed.
// load reads a file into a fresh component (which connects when the file
// says Active = True) and lists its groups and items.
//
//===----------------------------------------------------------------------===//
#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "VexoOpc.h"

namespace vexo::cli {

namespace {

/// Unassigns the events of Server for its lifetime.
class TEventsOff {
  public:
    explicit TEventsOff(TVexoServer &Server)
        : FServer(Server), FOnError(std::move(Server.OnError)),
          FOnServerShutdown(std::move(Server.OnServerShutdown)) {
        FServer.OnError = nullptr;
        FServer.OnServerShutdown = nullptr;
    }
    ~TEventsOff() {
        FServer.OnError = std::move(FOnError);
        FServer.OnServerShutdown = std::move(FOnServerShutdown);
    }
    TEventsOff(const TEventsOff &) = delete;
    TEventsOff &operator=(const TEventsOff &) = delete;

  private:
    TVexoServer &FServer;
    TOnOPCErrorEvent FOnError;
    TOnOPCServerShutdownEvent FOnServerShutdown;
};

} // namespace

int RunSave(TCliSession &Session, const TCliOptions &Options) {
    const std::string &File = Options.Args.front();
    const std::vector<std::string> Ids(Options.Args.begin() + 1, Options.Args.end());
    std::unique_ptr<TVexoServer> Server = Session.Connect(Options);
    Server->SetName("VexoOpc");
    TVexoGroup *Group = AddItemGroup(*Server, Ids, Options.Rate);
    int Refused = 0;
    for (int I = 0; I < Group->OPCItems()->Count(); ++I) {
        const TVexoItem &Item = *Group->OPCItems()->GetItem(I);
        if (!IsOnServer(Item)) {
            Session.ReportItem(*Server, Item);
            ++Refused;
        }
    }
    if (Refused > 0) {
        Session.Report("nothing saved to '" + File + "'");
        return ExitFailure;
    }
    {
        // Assigned events are written by name; the session's handlers are no
        // part of the configuration, and a reader that binds names would
        // refuse unknown ones.
        TEventsOff Quiet(*Server);
        Server->SaveToFile(File);
    }
    Session.Out << "saved group CLI with " << Ids.size() << " items of " << Server->ServerName()
                << " to " << File << '\n';
    return ExitSuccess;
}

int RunLoad(TCliSession &Session, const TCliOptions &Options) {
    std::unique_ptr<TVexoServer> Server = Session.NewServer();
    Server->LoadFromFile(Options.Args.front());
    std::ostream &Out = Session.Out;
    Out << "server " << Server->ServerName() << " on " << ComputerText(Server->ComputerName())
        << (Server->Active() ? ", connected" : ", not connected") << '\n';
    for (int G = 0; G < Server->OPCGroups()->Count(); ++G) {
        const TVexoGroup &Group = *Server->OPCGroups()->GetItem(G);
        const TVexoItems &Items = *Group.OPCItems();
        Out << "group " << Group.Name() << ": " << Group.UpdateRate() << " ms, "
            << (Group.IsActive() ? "active" : "inactive") << ", " << Items.Count() << " items\n";
        for (int I = 0; I < Items.Count(); ++I) {
            const TVexoItem &Item = *Items.GetItem(I);
            Out << "  " << Item.ItemID();
            if (!Item.AccessPath().empty())
                Out << "  (access path " << Item.AccessPath() << ")";
            // The reason was shown when the items were added.
            if (Server->Active() && !IsOnServer(Item))
                Out << "  - not on the server";
            Out << '\n';
        }
    }
    return ExitSuccess;
}

} // namespace vexo::cli
