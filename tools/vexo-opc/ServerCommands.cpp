//===- ServerCommands.cpp - servers, status, browse and properties -------===//
//
// The commands that look at a server rather than at item values: the server
// list of a computer, the status of a server, its address space and the
// properties of one item.
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <iomanip>

#include "CliSession.h"
#include "CommandLine.h"
#include "Commands.h"
#include "VexoOpc.h"

namespace vexo::cli {

namespace {

/// Deeper than any real address space; a server whose branches lead back to
/// themselves ends here instead of recursing without end.
constexpr int MaxBrowseDepth = 64;

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

std::size_t Widest(const std::vector<std::string> &Texts) {
    std::size_t Width = 0;
    for (const std::string &T : Texts)
        Width = std::max(Width, T.size());
    return Width;
}

/// Prints the full item id of every leaf at and below the browser's position.
/// Returns false when a branch could not be entered or left (reported).
bool Walk(TCliSession &Session, TVexoBrowser &Browser, int Depth) {
    Browser.ShowLeafs(false);
    for (const std::string &Leaf : Lines(*Browser.Tags()))
        Session.Out << Browser.GetItemId(Leaf) << '\n';
    Browser.ShowBranches();
    const std::vector<std::string> Branches = Lines(*Browser.Tags());
    if (!Branches.empty() && Depth == MaxBrowseDepth) {
        Session.Report("browse: more than " + std::to_string(MaxBrowseDepth) +
                       " branch levels below the root at '" + Browser.GetCurrentPosition() + "'");
        return false;
    }
    bool AllGood = true;
    for (const std::string &Branch : Branches) {
        if (!Browser.MoveDown(Branch)) {
            AllGood = false; // the refusal has been reported; the others are still listed
            continue;
        }
        AllGood = Walk(Session, Browser, Depth + 1) && AllGood;
        if (!Browser.Moveup())
            throw EOPCException("browse: cannot return from branch '" + Branch + "'");
    }
    return AllGood;
}

/// A flat server names full item ids only: PATH selects those below it.
int BrowseFlat(TCliSession &Session, TVexoBrowser &Browser, const std::string &Path,
               bool Recursive) {
    Browser.ShowLeafs(true);
    int Listed = 0;
    for (const std::string &Id : Lines(*Browser.Tags())) {
        if (!Path.empty() && !Id.starts_with(Path + "."))
            continue;
        Session.Out << (Recursive ? "" : "leaf    ") << Id << '\n';
        ++Listed;
    }
    if (Listed == 0 && !Path.empty()) {
        Session.Report("browse: no item ids below '" + Path + "'");
        return ExitFailure;
    }
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
    std::vector<std::string> ProgIDs;
    for (int I = 0; I < Browser.GetCount(); ++I)
        ProgIDs.push_back(Browser.GetItems(I)->ProgID);
    const int Width = static_cast<int>(Widest(ProgIDs));
    for (int I = 0; I < Browser.GetCount(); ++I) {
        const TvexoServerItem &S = *Browser.GetItems(I);
        Session.Out << std::left << std::setw(Width) << S.ProgID << "  " << std::setw(38)
                    << S.ClassID << "  " << std::setw(11) << Categories(S.ServerTypes) << "  "
                    << S.Description << '\n';
    }
    if (Browser.GetCount() == 0)
        Session.Err << "vexo-opc: no OPC servers on " << ComputerText(Options.Computer) << '\n';
    return ExitSuccess;
}

int RunStatus(TCliSession &Session, const TCliOptions &Options) {
    std::unique_ptr<TVexoServer> Server = Session.Connect(Options);
    const tServerStateRec State = Server->GetState();
    std::ostream &Out = Session.Out;
    Out << "server:        " << Server->ServerName() << '\n';
    Out << "computer:      " << ComputerText(Server->ComputerName()) << '\n';
    Out << "state:         " << ServerStateToStr(State.ServerState) << '\n';
    Out << "vendor:        " << State.VendorInfo << '\n';
    Out << "version:       " << State.MajorVersion << '.' << State.MinorVersion << " build "
        << State.BuildNumber << '\n';
    Out << "groups:        " << State.GroupCount << '\n';
    Out << "start time:    " << TimeText(State.StartTime) << '\n';
    Out << "current time:  " << TimeText(State.CurrentTime) << '\n';
    Out << "last update:   "
        << (State.LastUpdateTime == 0 ? "none" : TimeText(State.LastUpdateTime)) << '\n';
    return ExitSuccess;
}

int RunBrowse(TCliSession &Session, const TCliOptions &Options) {
    std::unique_ptr<TVexoServer> Server = Session.Connect(Options);
    TVexoBrowser &Browser = *Server->Browser();
    const std::string Path = Options.Args.empty() ? std::string() : Options.Args.front();
    if (Browser.GetOrganization() == OPC_NS_FLAT)
        return BrowseFlat(Session, Browser, Path, Options.Recursive);
    if (!Browser.Moveto(Path)) {
        Session.Report("browse: cannot move to '" + Path + "'"); // after the server's reason
        return ExitFailure;
    }
    if (Options.Recursive)
        return Walk(Session, Browser, 0) ? ExitSuccess : ExitFailure;

    Browser.ShowBranches();
    for (const std::string &Branch : Lines(*Browser.Tags()))
        Session.Out << "branch  " << Branch << '\n';
    Browser.ShowLeafs(false);
    const std::vector<std::string> Leaves = Lines(*Browser.Tags());
    const int Width = static_cast<int>(Widest(Leaves));
    for (const std::string &Leaf : Leaves)
        Session.Out << "leaf    " << std::left << std::setw(Width) << Leaf << "  "
                    << Browser.GetItemId(Leaf) << '\n';
    return ExitSuccess;
}

int RunProperties(TCliSession &Session, const TCliOptions &Options) {
    std::unique_ptr<TVexoServer> Server = Session.Connect(Options);
    const std::string &ItemId = Options.Args.front();
    if (!Server->CachedItemPropIF())
        throw EOPCException("server '" + Options.Server + "' offers no item properties");
    std::unique_ptr<TVexoItemProperties> Listed;
    try {
        Listed = std::make_unique<TVexoItemProperties>(Server.get(), ItemId);
    } catch (const Exception &E) {
        throw EOPCException(ItemId + ": " + E.Message()); // the server's text names no item
    }
    TVexoItemProperties &Properties = *Listed;
    const bool AllRead = Properties.GetItemProperties();
    std::vector<std::string> Descriptions;
    for (int I = 0; I < Properties.Count(); ++I)
        Descriptions.push_back(Properties.GetItem(I)->Description);
    const int Width = static_cast<int>(Widest(Descriptions));
    for (int I = 0; I < Properties.Count(); ++I) {
        const TVexoItemProperty &P = *Properties.GetItem(I);
        OleVariant Value = P.Value;
        // Only an entry whose value stayed empty can be one that failed: ask again for it alone.
        const bool Read = AllRead || !VarIsEmpty(Value) ||
                          Server->GetItemProperty(ItemId, static_cast<int>(P.PropertyID), Value);
        Session.Out << std::right << std::setw(5) << P.PropertyID << "  " << std::left
                    << std::setw(Width) << P.Description << " = "
                    << (Read ? VarToAStr(Value) : std::string("(cannot be read)"));
        std::string Linked;
        try {
            Linked = Server->LookupItemId(ItemId, P.PropertyID);
        } catch (const Exception &) {
            // Most properties have no item of their own; the server says so by refusing.
        }
        if (!Linked.empty())
            Session.Out << "  -> " << Linked;
        Session.Out << '\n';
    }
    return ExitSuccess;
}

} // namespace vexo::cli
