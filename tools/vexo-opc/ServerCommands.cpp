//===- ServerCommands.cpp - servers, status, browse and properties -------===//
//
// The commands that look at a server rather than at item values: the server
// list of a computer, the status of a server, its address space and the
// properties of one item.
//
//===----------------------------------------------------------------------===//
#include <algorithm>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "RecordWriter.h"
#include "VexoOpc.h"

namespace vexo::cli {

namespace {

/// Deeper than any real address space; a server whose branches lead back to
/// themselves ends here instead of recursing without end.
constexpr int MaxBrowseDepth = 64;

const std::vector<std::string> BrowseColumns = {"kind", "name", "item"};

std::string Categories(tvexoServerSet Types) {
    std::string Text;
    for (const auto &[Type, Name] :
         {std::pair{svr_DA10, "DA1.0"}, std::pair{svr_DA20, "DA2.0"}, std::pair{svr_AE10, "AE1.0"}})
        if (Types.Contains(Type))
            Text += (Text.empty() ? "" : ",") + std::string(Name);
    return Text;
}

std::vector<std::string> Lines(const TStrings &Strings) {
    std::vector<std::string> Result;
    for (int I = 0; I < Strings.Count(); ++I)
        Result.push_back(Strings.Get(I));
    return Result;
}

struct TWalk {
    TCliSession &Session;
    TVexoBrowser &Browser;
    TRecordWriter &Writer;
    int Branches = 0;
};

/// Lists every leaf at and below the browser's position with its full item id.
/// Returns false when a branch could not be entered or left (reported).
bool Walk(TWalk &W, int Depth) {
    W.Browser.ShowLeafs(false);
    for (const std::string &Leaf : Lines(*W.Browser.Tags()))
        W.Writer.Add({"leaf", Leaf, W.Browser.GetItemId(Leaf)});
    W.Session.Progress("browsing: " + std::to_string(W.Writer.Rows()) + " items in " +
                       std::to_string(W.Branches) + " branches");
    W.Browser.ShowBranches();
    const std::vector<std::string> Branches = Lines(*W.Browser.Tags());
    if (!Branches.empty() && Depth == MaxBrowseDepth) {
        W.Session.Report("browse: more than " + std::to_string(MaxBrowseDepth) +
                         " branch levels below the root at '" + W.Browser.GetCurrentPosition() +
                         "'");
        return false;
    }
    bool AllGood = true;
    for (const std::string &Branch : Branches) {
        if (!W.Browser.MoveDown(Branch)) {
            AllGood = false; // the refusal has been reported; the others are still listed
            continue;
        }
        ++W.Branches;
        AllGood = Walk(W, Depth + 1) && AllGood;
        if (!W.Browser.Moveup())
            throw EOPCException("browse: cannot return from branch '" + Branch + "'");
    }
    return AllGood;
}

/// A flat server names full item ids only: PATH selects those below it.
int BrowseFlat(TCliSession &Session, TVexoBrowser &Browser, const TCliOptions &Options,
               const std::string &Path) {
    Browser.ShowLeafs(true);
    TRecordWriter Writer(Session.Out, Options, BrowseColumns);
    for (const std::string &Id : Lines(*Browser.Tags()))
        if (Path.empty() || Id.starts_with(Path + "."))
            Writer.Add({"leaf", Id, Id});
    if (Writer.Rows() == 0 && !Path.empty()) {
        Session.Report("browse: no item ids below '" + Path + "'");
        return ExitFailure;
    }
    Writer.Finish();
    return ExitSuccess;
}

} // namespace

int RunServers(TCliSession &Session, const TCliOptions &Options) {
    TvexoServerBrowser Browser(nullptr);
    try {
        Browser.GetOPCServers(Options.Computer);
    } catch (const Exception &E) {
        throw EOPCException("cannot list the servers of " + ComputerText(Options.Computer) + ": " +
                            E.Message());
    }
    TRecordWriter Writer(Session.Out, Options, {"progid", "classid", "categories", "description"});
    for (int I = 0; I < Browser.GetCount(); ++I) {
        const TvexoServerItem &S = *Browser.GetItems(I);
        Writer.Add({S.ProgID, S.ClassID, Categories(S.ServerTypes), S.Description});
    }
    Writer.Finish();
    if (Browser.GetCount() == 0)
        Session.Note("no OPC servers on " + ComputerText(Options.Computer));
    return ExitSuccess;
}

int RunStatus(TCliSession &Session, const TCliOptions &Options) {
    TVexoServer &Server = Session.Connect(Options);
    const tServerStateRec State = Server.GetState();
    TRecordWriter Writer(Session.Out, Options,
                         {"server", "computer", "state", "vendor", "version", "groups",
                          "start_time", "current_time", "last_update"},
                         TRecordLayout::Record);
    Writer.Add({Server.ServerName(), ComputerText(Server.ComputerName()),
                ServerStateToStr(State.ServerState), State.VendorInfo,
                std::to_string(State.MajorVersion) + "." + std::to_string(State.MinorVersion) +
                    "." + std::to_string(State.BuildNumber),
                State.GroupCount, TimeToCell(State.StartTime), TimeToCell(State.CurrentTime),
                TimeToCell(State.LastUpdateTime)});
    Writer.Finish();
    return ExitSuccess;
}

int RunBrowse(TCliSession &Session, const TCliOptions &Options) {
    TVexoServer &Server = Session.Connect(Options);
    TVexoBrowser &Browser = *Server.Browser();
    const std::string Path = Options.Args.empty() ? std::string() : Options.Args.front();
    if (Browser.GetOrganization() == OPC_NS_FLAT)
        return BrowseFlat(Session, Browser, Options, Path);
    if (!Browser.Moveto(Path)) {
        Session.Report("browse: cannot move to '" + Path + "'"); // after the server's reason
        return ExitFailure;
    }
    TRecordWriter Writer(Session.Out, Options, BrowseColumns);
    if (Options.Recursive) {
        TWalk W{Session, Browser, Writer};
        const bool AllGood = Walk(W, 0);
        Session.EndProgress();
        Writer.Finish();
        // Some branches listed, some refused: what could be listed is there.
        return AllGood ? ExitSuccess : Writer.Rows() > 0 ? ExitPartial : ExitFailure;
    }
    Browser.ShowBranches();
    for (const std::string &Branch : Lines(*Browser.Tags()))
        Writer.Add({"branch", Branch, nullptr});
    Browser.ShowLeafs(false);
    for (const std::string &Leaf : Lines(*Browser.Tags()))
        Writer.Add({"leaf", Leaf, Browser.GetItemId(Leaf)});
    Writer.Finish();
    return ExitSuccess;
}

int RunProperties(TCliSession &Session, const TCliOptions &Options) {
    const std::string &ItemId = Options.Args.front();
    RequireItemIds("properties", Options.Args);
    TVexoServer &Server = Session.Connect(Options);
    if (!Server.CachedItemPropIF())
        throw EOPCException("server '" + Options.Server + "' offers no item properties");
    std::unique_ptr<TVexoItemProperties> Listed;
    try {
        Listed = std::make_unique<TVexoItemProperties>(&Server, ItemId);
    } catch (const Exception &E) {
        throw EOPCException(ItemId + ": " + E.Message()); // the server's text names no item
    }
    TVexoItemProperties &Properties = *Listed;
    if (Properties.Count() == 0)
        throw EOPCException(ItemId + ": the server lists no properties for this item");
    const bool AllRead = Properties.GetItemProperties();
    TRecordWriter Writer(Session.Out, Options, {"id", "description", "value", "item", "error"});
    for (int I = 0; I < Properties.Count(); ++I) {
        const TVexoItemProperty &P = *Properties.GetItem(I);
        OleVariant Value = P.Value;
        // Only an entry whose value stayed empty can be one that failed: ask again for it alone.
        const bool Read = AllRead || !VarIsEmpty(Value) ||
                          Server.GetItemProperty(ItemId, static_cast<int>(P.PropertyID), Value);
        std::string Linked;
        try {
            Linked = Server.LookupItemId(ItemId, P.PropertyID);
        } catch (const Exception &) {
            // Most properties have no item of their own; the server says so by refusing.
        }
        Writer.Add({P.PropertyID, P.Description, Read ? ValueToCell(Value) : TCell(nullptr),
                    Linked.empty() ? TCell(nullptr) : TCell(Linked),
                    Read ? TCell(nullptr) : TCell("cannot be read")});
    }
    Writer.Finish();
    return ExitSuccess;
}

} // namespace vexo::cli
