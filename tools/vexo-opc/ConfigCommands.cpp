//===- ConfigCommands.cpp - save and load --------------------------------===//
//
// save connects, builds group "CLI" with the given items and writes the
// component with SaveToFile; an item the server refuses is reported and
// nothing is written, so a saved file always names items that existed.
// load reads a file into a fresh component (which connects when the file
// says Active = True) and lists its groups and items. Both name the file and
// the reason whenever it cannot be used.
//
//===----------------------------------------------------------------------===//
#include <filesystem>
#include <limits>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "RecordWriter.h"
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
    RequireItemIds("save", Ids);
    if (std::filesystem::is_directory(File))
        throw EOPCException("cannot save to '" + File + "': it is a directory");
    TVexoServer &Server = Session.Connect(Options);
    Server.SetName("VexoOpc");
    Session.Progress("adding " + std::to_string(Ids.size()) + " items to the server");
    TCommandGroup Group(Server, Ids, Options.Rate);
    Session.EndProgress();
    int Refused = 0;
    for (int I = 0; I < Group->OPCItems()->Count(); ++I) {
        const TVexoItem &Item = *Group->OPCItems()->GetItem(I);
        if (!IsOnServer(Item)) {
            Session.ReportItem(Server, Item);
            ++Refused;
        }
    }
    if (Refused > 0) {
        Session.Report("nothing saved to '" + File + "'");
        return ExitFailure;
    }
    // The server answers a rate with its own, which may round up past what
    // the group's update rate (and so the file) holds.
    if (Group->UpdateRate() < 0) {
        Session.Report("nothing saved to '" + File + "': the server revised the update rate " +
                       std::to_string(Options.Rate) + " ms to " +
                       std::to_string(static_cast<std::uint32_t>(Group->UpdateRate())) +
                       " ms, more than an update rate holds (" +
                       std::to_string(std::numeric_limits<std::int32_t>::max()) + " ms)");
        return ExitFailure;
    }
    Session.Progress("writing " + File);
    try {
        // Assigned events are written by name; the session's handlers are no
        // part of the configuration, and a reader that binds names would
        // refuse unknown ones.
        TEventsOff Quiet(Server);
        Server.SaveToFile(File);
    } catch (const EStreamError &E) {
        throw EOPCException("cannot save to '" + File + "': " + E.Message()); // with the reason
    }
    Session.EndProgress();
    Session.Out << "saved group CLI with " << Ids.size() << " items of " << Server.ServerName()
                << " (update rate " << Group->UpdateRate() << " ms) to " << File << '\n';
    return ExitSuccess;
}

int RunLoad(TCliSession &Session, const TCliOptions &Options) {
    const std::string &File = Options.Args.front();
    const std::string Cannot = "cannot load '" + File + "'";
    if (std::filesystem::is_directory(File))
        throw EOPCException(Cannot + ": it is a directory");
    std::unique_ptr<TVexoServer> Server = Session.NewServer();
    // What the connect at the end of loading reports is repeated below with
    // the file and the server it names.
    std::vector<std::string> ConnectErrors;
    Server->OnError = [&](TObject *, const std::string &Text, bool &) {
        ConnectErrors.push_back(Text);
    };
    try {
        Server->LoadFromFile(File);
    } catch (const EStreamError &E) {
        throw EOPCException(Cannot + ": " + E.Message()); // the message names the reason
    } catch (const EOPCException &E) {
        throw EOPCException(Cannot + ": it names server '" + Server->ServerName() + "' on " +
                            ComputerText(Server->ComputerName()) +
                            ", which cannot be connected: " + E.Message());
    } catch (const Exception &E) {
        if (E.Message() == "wrong fileformat")
            throw EOPCException(Cannot + ": wrong fileformat (no saved TVexoServer in its first "
                                         "lines)");
        throw EOPCException(Cannot + ": " + E.Message());
    }
    for (const std::string &Text : ConnectErrors)
        Session.Report(Cannot + ": " + Text);

    const bool Connected = Server->Active();
    int Total = 0, NotOnServer = 0;
    TCell Json = {{"server", Server->ServerName()},
                  {"computer", ComputerText(Server->ComputerName())},
                  {"connected", Connected},
                  {"groups", TCell::array()}};
    if (Options.Format == TOutputFormat::Table)
        Session.Out << "server " << Server->ServerName() << " on "
                    << ComputerText(Server->ComputerName())
                    << (Connected ? ", connected" : ", not connected") << '\n';
    std::vector<std::string> Columns = {"group", "update_rate", "active",
                                        "item",  "access_path", "on_server"};
    if (Options.Format == TOutputFormat::Csv)
        Columns.insert(Columns.begin(), {"server", "computer", "connected"});
    TRecordWriter Writer(Session.Out, Options, Columns);
    for (int G = 0; G < Server->OPCGroups()->Count(); ++G) {
        const TVexoGroup &Group = *Server->OPCGroups()->GetItem(G);
        const TVexoItems &Items = *Group.OPCItems();
        TCell JsonGroup = {{"group", Group.Name()},
                           {"update_rate", Group.UpdateRate()},
                           {"active", Group.IsActive()},
                           {"items", TCell::array()}};
        std::vector<TCell> Head = {Group.Name(), Group.UpdateRate(), Group.IsActive()};
        if (Options.Format == TOutputFormat::Csv)
            Head.insert(Head.begin(),
                        {Server->ServerName(), ComputerText(Server->ComputerName()), Connected});
        if (Items.Count() == 0) {
            std::vector<TCell> Row = Head;
            Row.insert(Row.end(), {nullptr, nullptr, nullptr});
            Writer.Add(std::move(Row));
        }
        for (int I = 0; I < Items.Count(); ++I) {
            const TVexoItem &Item = *Items.GetItem(I);
            ++Total;
            // The reason was reported when the items were added.
            const TCell OnServer = Connected ? TCell(IsOnServer(Item)) : TCell(nullptr);
            NotOnServer += Connected && !IsOnServer(Item) ? 1 : 0;
            const TCell Path =
                Item.AccessPath().empty() ? TCell(nullptr) : TCell(Item.AccessPath());
            std::vector<TCell> Row = Head;
            Row.insert(Row.end(), {Item.ItemID(), Path, OnServer});
            Writer.Add(std::move(Row));
            JsonGroup["items"].push_back(
                {{"item", Item.ItemID()}, {"access_path", Path}, {"on_server", OnServer}});
        }
        Json["groups"].push_back(std::move(JsonGroup));
    }
    if (Options.Format == TOutputFormat::Json)
        Session.Out << Json.dump(2, ' ', false, nlohmann::detail::error_handler_t::replace) << '\n';
    else
        Writer.Finish();
    return ItemsExitCode(NotOnServer, Total);
}

} // namespace vexo::cli
