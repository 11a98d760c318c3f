//===- ItemBench.cpp - adding items in bulk, and what an item costs -------===//
//
// BM_AddItems: OPCAddItems of N local items of one group in one call against
// the simulation server (client and server), with counters splitting it into
// server_ms (the same AddItems call made directly) and client_ms, and first_ms,
// the first such call of the run (made before the measured ones).
// BM_AddItemsServerOnly: that direct call alone (its time includes removal).
// BM_ItemMemory: the client memory each item costs, counted by the global
// operator new/delete below (usable block sizes, per thread) and reported as
// the counter bytes_per_item. Item ids are short enough to live inside their
// string objects, so the figure is the cost beyond the strings' own text.
//
//===----------------------------------------------------------------------===//
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

namespace {
thread_local long long tLiveBytes = 0;
} // namespace

void *operator new(std::size_t Size) {
    void *P = std::malloc(Size ? Size : 1);
    if (!P)
        throw std::bad_alloc();
    tLiveBytes += static_cast<long long>(malloc_usable_size(P));
    return P;
}
void *operator new[](std::size_t Size) { return ::operator new(Size); }
void *operator new(std::size_t Size, const std::nothrow_t &) noexcept {
    try {
        return ::operator new(Size);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](std::size_t Size, const std::nothrow_t &) noexcept {
    return ::operator new(Size, std::nothrow);
}
void operator delete(void *P) noexcept {
    if (!P)
        return;
    tLiveBytes -= static_cast<long long>(malloc_usable_size(P));
    std::free(P);
}
void operator delete[](void *P) noexcept { ::operator delete(P); }
void operator delete(void *P, std::size_t) noexcept { ::operator delete(P); }
void operator delete[](void *P, std::size_t) noexcept { ::operator delete(P); }

namespace {

using namespace vexo;

/// A server component connected to the simulation server, call log off.
std::unique_ptr<TVexoServer> ConnectedServer() {
    RegisterSimulationServers();
    auto Server = std::make_unique<TVexoServer>(nullptr);
    Server->Connect("Vexo.Simulation.1", "");
    if (auto Control = Server->GetOPCServer().As<IVexoSimControl>()) {
        Control->EnableCallLog(FALSE);
        Control->SetManualMode(TRUE);
    }
    return Server;
}

std::string BenchId(int I) { return "Simulation.Bench.Tag" + std::to_string(I); }

/// The same N definitions a client would send, for calling the server directly.
struct RawDefs {
    explicit RawDefs(int N) : Defs(static_cast<std::size_t>(N)) {
        Ids.reserve(static_cast<std::size_t>(N));
        for (int I = 0; I < N; ++I) {
            Ids.push_back(platform::Utf8ToUtf16(BenchId(I)));
            OPCITEMDEF &D = Defs[static_cast<std::size_t>(I)];
            D.szAccessPath = Empty;
            D.szItemID = Ids.back().data();
            D.bActive = -1;
            D.hClient = static_cast<OPCHANDLE>(I + 1);
        }
    }
    /// AddItems on Mgt, then RemoveItems; returns the milliseconds of AddItems alone.
    double AddAndRemove(IOPCItemMgt *Mgt) {
        const DWORD N = static_cast<DWORD>(Defs.size());
        OPCITEMRESULT *Results = nullptr;
        HRESULT *Errors = nullptr;
        const auto T0 = std::chrono::steady_clock::now();
        Mgt->AddItems(N, Defs.data(), &Results, &Errors);
        const auto T1 = std::chrono::steady_clock::now();
        std::vector<OPCHANDLE> Handles(N);
        for (DWORD I = 0; Results && I < N; ++I) {
            Handles[I] = Results[I].hServer;
            platform::CoTaskMemFree(Results[I].pBlob);
        }
        platform::CoTaskMemFree(Results);
        platform::CoTaskMemFree(Errors);
        HRESULT *RemoveErrors = nullptr;
        Mgt->RemoveItems(N, Handles.data(), &RemoveErrors);
        platform::CoTaskMemFree(RemoveErrors);
        return std::chrono::duration<double, std::milli>(T1 - T0).count();
    }
    static inline char16_t Empty[] = u"";
    std::vector<std::u16string> Ids;
    std::vector<OPCITEMDEF> Defs;
};

// Each iteration times OPCAddItems (the benchmark's time), then, untimed, the
// same AddItems call made directly: the counters split the time into the
// server's share and the client's. first_ms is the first call, made before
// the iterations.
void BM_AddItems(benchmark::State &State) {
    const int N = static_cast<int>(State.range(0));
    auto Server = ConnectedServer();
    Server->SetBatchMode(true);
    TVexoGroup *G = Server->OPCGroups()->Add("Bench");
    for (int I = 0; I < N; ++I)
        G->OPCItems()->AddItem(BenchId(I));
    TVexoItemList List(*G->OPCItems());
    RawDefs Raw(N);
    // The simulation makes a bench tag when its id is first added; a real
    // server has its tags already, so they are made here, untimed.
    Raw.AddAndRemove(G->ItemMgt());
    // The first call also pays for the process's first use of its memory; the
    // sizes run different numbers of iterations (200 to 3), so that one-time
    // cost would weigh 70 times more at the largest. It is reported apart
    // (first_ms) and the iterations measure the calls that follow.
    const auto F0 = std::chrono::steady_clock::now();
    G->OPCItems()->OPCAddItems(&List, true);
    State.counters["first_ms"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - F0).count();
    G->OPCItems()->OPCRemoveItems(&List);
    double TotalMs = 0, ServerMs = 0;
    for (auto _ : State) {
        const auto T0 = std::chrono::steady_clock::now();
        const bool Ok = G->OPCItems()->OPCAddItems(&List, true);
        const auto T1 = std::chrono::steady_clock::now();
        State.PauseTiming();
        TotalMs += std::chrono::duration<double, std::milli>(T1 - T0).count();
        if (!Ok)
            State.SkipWithError("OPCAddItems failed");
        G->OPCItems()->OPCRemoveItems(&List);
        ServerMs += Raw.AddAndRemove(G->ItemMgt());
        State.ResumeTiming();
    }
    const double Iterations = static_cast<double>(State.iterations());
    State.counters["server_ms"] = ServerMs / Iterations;
    State.counters["client_ms"] = (TotalMs - ServerMs) / Iterations;
    State.SetItemsProcessed(State.iterations() * N);
}
// The cost per item must not grow with the count: the same call at four sizes.
BENCHMARK(BM_AddItems)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_AddItems)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(BM_AddItems)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AddItems)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AddItemsServerOnly(benchmark::State &State) {
    const int N = static_cast<int>(State.range(0));
    auto Server = ConnectedServer();
    TVexoGroup *G = Server->OPCGroups()->Add("Bench");
    RawDefs Raw(N);
    double ServerMs = 0;
    for (auto _ : State) {
        ServerMs += Raw.AddAndRemove(G->ItemMgt());
    }
    State.counters["server_ms"] = ServerMs / static_cast<double>(State.iterations());
    State.SetItemsProcessed(State.iterations() * N);
}
BENCHMARK(BM_AddItemsServerOnly)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ItemMemory(benchmark::State &State) {
    const int N = static_cast<int>(State.range(0));
    double PerItem = 0;
    for (auto _ : State) {
        auto Server = std::make_unique<TVexoServer>(nullptr);
        TVexoGroup *G = Server->OPCGroups()->Add("Bench");
        const long long Before = tLiveBytes;
        for (int I = 0; I < N; ++I)
            G->OPCItems()->AddItem("T" + std::to_string(I)); // fits in the string object
        PerItem = static_cast<double>(tLiveBytes - Before) / N;
        State.PauseTiming();
        Server.reset();
        State.ResumeTiming();
    }
    State.counters["bytes_per_item"] = PerItem;
    State.SetItemsProcessed(State.iterations() * N);
}
BENCHMARK(BM_ItemMemory)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
