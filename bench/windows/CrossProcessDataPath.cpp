//===- CrossProcessDataPath.cpp - the data path across processes ----------===//
//
// vexo-bench-crossprocess: one data change of N items (every value new) from
// the simulation server's scan to OnDatachange on the main thread, a
// single-threaded apartment; first with the server in this process, then in
// its own (the registered local-server program), where the change crosses
// through the proxy/stub. Prints rounds per second, values per second and
// the median time of a round.
//
//   vexo-bench-crossprocess [N=1000] [rounds=200]
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/framework/Application.h>

namespace {

using namespace vexo;
using Clock = std::chrono::steady_clock;

struct Figures {
    double RoundsPerSecond = 0;
    double MedianMs = 0;
    long long Values = 0;
};

/// Rounds of one forced scan each: the server delivers a change of every
/// item, the library raises OnDatachange once the main thread drains it.
Figures Measure(int N, int Rounds) {
    auto Server = std::make_unique<TVexoServer>(nullptr);
    Server->SetServer("Vexo.Simulation.1");
    TVexoGroup *Group = Server->OPCGroups()->Add("Bench");
    for (int I = 0; I < N; ++I)
        Group->OPCItems()->AddItem("Simulation.Bench.Tag" + std::to_string(I));
    Server->SetActive(true);
    auto Control = Server->GetOPCServer().As<IVexoSimControl>();
    Control->SetManualMode(TRUE);
    Control->EnableCallLog(FALSE);
    Control->SetForceChange(TRUE);
    long long Seen = 0;
    Server->OnDatachange = [&](TObject *, TVexoItemList *List) { Seen += List->Count(); };
    Control->RunScan(1000); // the first values
    Application->ProcessMessagesUntil([&] { return Seen >= N; }, std::chrono::seconds(10));

    Figures F;
    std::vector<double> Times;
    Seen = 0;
    const auto Start = Clock::now();
    for (int R = 0; R < Rounds; ++R) {
        const auto RoundStart = Clock::now();
        const long long Want = static_cast<long long>(R + 1) * N;
        Control->RunScan(1000);
        if (!Application->ProcessMessagesUntil([&] { return Seen >= Want; },
                                               std::chrono::seconds(10))) {
            std::fprintf(stderr, "round %d: %lld of %lld values arrived\n", R, Seen, Want);
            break;
        }
        Times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - RoundStart).count());
    }
    const double Seconds = std::chrono::duration<double>(Clock::now() - Start).count();
    F.Values = Seen;
    F.RoundsPerSecond = Times.size() / Seconds;
    std::sort(Times.begin(), Times.end());
    F.MedianMs = Times.empty() ? 0 : Times[Times.size() / 2];
    Server->OnDatachange = nullptr;
    Control = nullptr;
    Server.reset();
    Application->ProcessMessages();
    return F;
}

void Print(const char *Where, int N, const Figures &F) {
    std::printf("%-22s N=%-6d %8.1f rounds/s %12.0f values/s  median round %.3f ms\n", Where, N,
                F.RoundsPerSecond, F.RoundsPerSecond * N, F.MedianMs);
}

} // namespace

int main(int argc, char **argv) {
    const int N = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int Rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    // Across processes first: the classes are found through the registry
    // until this process registers its own.
    const Figures Across = Measure(N, Rounds);
    RegisterSimulationServers();
    const Figures Within = Measure(N, Rounds);
    Print("across processes", N, Across);
    Print("in process", N, Within);
    return Across.Values == 0 ? 1 : 0;
}
