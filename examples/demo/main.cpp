//===- main.cpp - the Vexo demo: connect to a server and show its status ---===//
//
// Registers the simulation servers, connects a TVexoServer to
// Vexo.Simulation.1 (or the ProgID given as the first argument) and prints
// what the server reports: state, vendor, version and its times; then
// subscribes to a few simulation items and prints their data changes for a
// few seconds. Each step
// is one small function so that further steps (groups, subscribed items) can
// be added between connecting and disconnecting.
//
//===----------------------------------------------------------------------===//

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/DateUtils.h>

namespace {

using vexo::TVexoServer;

/// Creates the component with its events wired to the console.
std::unique_ptr<TVexoServer> MakeServer() {
    auto Server = std::make_unique<TVexoServer>(nullptr);
    Server->SetClientName("vexo-demo");
    Server->OnConnect = [](vexo::TObject *) { std::printf("connected\n"); };
    Server->OnDisconnect = [](vexo::TObject *) { std::printf("disconnected\n"); };
    Server->OnServerShutdown = [](vexo::TObject *, const std::string &Reason) {
        std::printf("server shuts down%s%s\n", Reason.empty() ? "" : ": ", Reason.c_str());
    };
    return Server;
}

/// Prints the server's status, one line per field.
void ShowStatus(TVexoServer &Server) {
    const vexo::tServerStateRec State = Server.GetState();
    std::printf("server:        %s\n", Server.ServerName().c_str());
    std::printf("state:         %s\n", vexo::ServerStateToStr(State.ServerState).c_str());
    std::printf("vendor:        %s\n", State.VendorInfo.c_str());
    std::printf("version:       %d.%d build %d\n", State.MajorVersion, State.MinorVersion,
                State.BuildNumber);
    std::printf("groups:        %d\n", State.GroupCount);
    std::printf("start time:    %s\n", vexo::DateTimeToStr(State.StartTime).c_str());
    std::printf("current time:  %s\n", vexo::DateTimeToStr(State.CurrentTime).c_str());
    std::printf("last update:   %s\n", State.LastUpdateTime == 0
                                           ? "none"
                                           : vexo::DateTimeToStr(State.LastUpdateTime).c_str());
}

/// Subscribes to a few items and prints their changes for Seconds seconds.
void WatchItems(TVexoServer &Server, int Seconds) {
    Server.OPCGroupDefault()->UpdateRate = 500;
    vexo::TVexoGroup *Group = Server.OPCGroups()->Add("Demo");
    for (const char *Id : {"Simulation.Line 1.Level", "Simulation.Ramp.Int4",
                           "Simulation.Sine.Real8", "Simulation.Random.String"})
        Group->OPCItems()->AddItem(Id);
    // One data change carries any number of values: the count is of values,
    // so it does not depend on how the server bundled them.
    int Values = 0;
    Server.OnDatachange = [&Values](vexo::TObject *, vexo::TVexoItemList *List) {
        for (int i = 0; i < List->Count(); ++i) {
            const vexo::TVexoItem *Item = List->GetItem(i);
            std::printf("  %-26s = %-16s quality 0x%02X\n", Item->ItemID().c_str(),
                        Item->ValueStr().c_str(), static_cast<unsigned>(Item->Quality()));
        }
        Values += List->Count();
    };
    std::printf("watching %d items for %d seconds\n", Group->OPCItems()->Count(), Seconds);
    // The demo runs for a fixed time on purpose: it shows the changes as
    // they come. The condition never holds, the timeout ends the loop.
    vexo::Application->ProcessMessagesUntil([] { return false; }, std::chrono::seconds(Seconds));
    std::printf("%d values received\n", Values);
    Server.OnDatachange = nullptr;
}

} // namespace

int main(int argc, char **argv) {
    const std::string ProgID = argc > 1 ? argv[1] : "Vexo.Simulation.1";
    try {
        vexo::RegisterSimulationServers();
        std::unique_ptr<TVexoServer> Server = MakeServer();
        Server->Connect(ProgID, "");
        ShowStatus(*Server);
        WatchItems(*Server, 3);
        vexo::Application->ProcessMessages();
        Server->Disconnect();
        return 0;
    } catch (const std::exception &E) {
        std::fprintf(stderr, "vexo-demo: %s\n", E.what());
        return 1;
    }
}
