//===- DataPathBench.cpp - the data path from callback to event ----------===//
//
// BM_DataPath/N: one data change of N items, every value new, from the
// server's call of the group's IOPCDataCallback to OnDatachange on the owner
// thread (resolve handles, store into items, build and post the list, drain
// it, drop stale entries, raise the event). BM_DataPathBaseline/N: a bare
// loop doing the same copies and one hand-off through a message target, the
// floor for the line above. BM_SyncRead/N: one synchronous read of N items
// from the simulation server's cache. BM_Latency: one value change from the
// server's callback (on the benchmark's thread) to OnDatachange on an owner
// thread that waits idle for messages; median and 99th percentile in µs.
//
//===----------------------------------------------------------------------===//

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/framework/Application.h>
#include <vexo/platform/Time.h>

namespace {

using namespace vexo;

/// A connected server component (manual scan mode) with one group of N
/// bench items, added in one call at connect.
struct BenchGroup {
    std::unique_ptr<TVexoServer> Server;
    TVexoGroup *Group = nullptr;
    platform::ComPtr<IVexoSimControl> Control;

    explicit BenchGroup(int N) {
        RegisterSimulationServers();
        Server = std::make_unique<TVexoServer>(nullptr);
        Server->SetServer("Vexo.Simulation.1");
        Group = Server->OPCGroups()->Add("Bench");
        for (int i = 0; i < N; ++i)
            Group->OPCItems()->AddItem("Simulation.Bench.Tag" + std::to_string(i));
        Server->SetActive(true);
        Control = Server->GetOPCServer().As<IVexoSimControl>();
        Control->SetManualMode(TRUE);
        Control->EnableCallLog(FALSE);
        Application->ProcessMessages();
    }
    ~BenchGroup() {
        Control = nullptr;
        Server.reset();
        Application->ProcessMessages();
    }
};

/// The values of N items for two rounds in turn, so that every value is new
/// in each round without writing them inside the measured loop (pausing the
/// timer every round would cost more than a round of 100 items).
class RoundValues {
  public:
    explicit RoundValues(int N) : FValues(2 * static_cast<std::size_t>(N)), FN(N) {
        for (std::size_t I = 0; I < FValues.size(); ++I) {
            FValues[I].vt = VT_I4;
            FValues[I].lVal = static_cast<LONG>(I);
        }
    }
    VARIANT *Of(unsigned Round) const {
        return const_cast<VARIANT *>(FValues.data()) + (Round % 2) * static_cast<std::size_t>(FN);
    }

  private:
    std::vector<VARIANT> FValues;
    int FN;
};

void BM_DataPath(benchmark::State &State) {
    const int N = static_cast<int>(State.range(0));
    BenchGroup B(N);
    long long Seen = 0;
    B.Server->OnDatachange = [&](TObject *, TVexoItemList *List) { Seen += List->Count(); };

    // The arrays a server hands to the callback.
    std::vector<OPCHANDLE> Handles(N);
    for (int i = 0; i < N; ++i)
        Handles[i] = B.Group->OPCItems()->GetItem(i)->GetClientHandle();
    const RoundValues Values(N);
    std::vector<WORD> Qualities(N, 0xC0);
    FILETIME Now;
    platform::GetSystemTimeAsFileTime(&Now);
    std::vector<FILETIME> Times(N, Now);
    std::vector<HRESULT> Errors(N, S_OK);
    TVexoDataCallback *Sink = B.Group->DataCallback();
    const OPCHANDLE GroupID = static_cast<OPCHANDLE>(B.Group->ID());

    unsigned Round = 0;
    for (auto _ : State) {
        Sink->OnDataChange(0, GroupID, S_OK, S_OK, static_cast<DWORD>(N), Handles.data(),
                           Values.Of(++Round), Qualities.data(), Times.data(), Errors.data());
        Application->ProcessMessages();
    }
    if (Seen != static_cast<long long>(State.iterations()) * N)
        State.SkipWithError("not every update reached OnDatachange");
    State.SetItemsProcessed(static_cast<int64_t>(State.iterations()) * N);
    B.Server->OnDatachange = nullptr;
}
BENCHMARK(BM_DataPath)->Arg(10000)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_DataPathBaseline(benchmark::State &State) {
    const int N = static_cast<int>(State.range(0));
    struct Slot {
        VARIANT Value;
        std::int32_t Quality;
        TDateTime TimeStamp;
        HRESULT LastError;
    };
    std::vector<Slot> Slots(N);
    for (Slot &S : Slots)
        platform::VariantInit(&S.Value);
    const RoundValues Rounds(N);
    std::vector<WORD> Qualities(N, 0xC0);
    FILETIME Now;
    platform::GetSystemTimeAsFileTime(&Now);
    std::vector<FILETIME> Times(N, Now);
    std::vector<HRESULT> Errors(N, S_OK);
    long long Seen = 0;
    HWND Target = AllocateHWnd([&](TMessage &M) {
        auto *List = reinterpret_cast<std::vector<Slot *> *>(M.LParam);
        Seen += static_cast<long long>(List->size());
        delete List;
    });

    unsigned Round = 0;
    for (auto _ : State) {
        const VARIANT *Values = Rounds.Of(++Round);
        auto *List = new std::vector<Slot *>();
        List->reserve(N);
        for (int i = 0; i < N; ++i) {
            Slot &S = Slots[i];
            platform::VariantCopy(&S.Value, &Values[i]);
            S.Quality = Qualities[i];
            S.TimeStamp = FileTimeToDateTime(Times[i]);
            S.LastError = Errors[i];
            List->push_back(&S);
        }
        PostMessage(Target, CM_OPCDATACHANGE, 0, reinterpret_cast<LPARAM>(List));
        Application->ProcessMessages();
    }
    DeallocateHWnd(Target);
    for (Slot &S : Slots)
        platform::VariantClear(&S.Value);
    benchmark::DoNotOptimize(Seen);
    State.SetItemsProcessed(static_cast<int64_t>(State.iterations()) * N);
}
BENCHMARK(BM_DataPathBaseline)->Arg(10000)->Unit(benchmark::kMicrosecond);

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void BM_Latency(benchmark::State &State) {
    // The owner thread creates the component (so its messages go to that
    // thread) and then waits for messages, as an idle application does.
    std::atomic<TVexoDataCallback *> Sink{nullptr};
    std::atomic<bool> Stop{false};
    std::atomic<long long> Seen{0};
    std::atomic<long long> ArrivedNs{0};
    OPCHANDLE Handle = 0;
    OPCHANDLE GroupID = 0;
    std::thread Owner([&] {
        BenchGroup B(1);
        B.Server->OnDatachange = [&](TObject *, TVexoItemList *) {
            ArrivedNs.store(NowNs(), std::memory_order_relaxed);
            Seen.fetch_add(1, std::memory_order_release);
        };
        Handle = B.Group->OPCItems()->GetItem(0)->GetClientHandle();
        GroupID = static_cast<OPCHANDLE>(B.Group->ID());
        Sink.store(B.Group->DataCallback(), std::memory_order_release);
        while (!Stop.load(std::memory_order_acquire))
            Application->HandleMessage(std::chrono::milliseconds(20));
        B.Server->OnDatachange = nullptr;
    });
    while (!Sink.load(std::memory_order_acquire))
        std::this_thread::yield();

    VARIANT Value;
    Value.vt = VT_I4;
    WORD Quality = 0xC0;
    FILETIME Now;
    platform::GetSystemTimeAsFileTime(&Now);
    HRESULT Error = S_OK;
    std::vector<double> Micros;
    Micros.reserve(static_cast<std::size_t>(State.max_iterations));
    LONG Round = 0;
    for (auto _ : State) {
        Value.lVal = ++Round;
        const long long Before = Seen.load(std::memory_order_acquire);
        const long long T0 = NowNs();
        Sink.load(std::memory_order_relaxed)
            ->OnDataChange(0, GroupID, S_OK, S_OK, 1, &Handle, &Value, &Quality, &Now, &Error);
        while (Seen.load(std::memory_order_acquire) == Before)
            std::this_thread::yield();
        Micros.push_back(static_cast<double>(ArrivedNs.load(std::memory_order_relaxed) - T0) /
                         1000.0);
    }
    Stop.store(true, std::memory_order_release);
    Owner.join();
    std::sort(Micros.begin(), Micros.end());
    if (!Micros.empty()) {
        State.counters["median_us"] = Micros[Micros.size() / 2];
        State.counters["p99_us"] = Micros[Micros.size() * 99 / 100];
    }
}
BENCHMARK(BM_Latency)->Iterations(20000)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_SyncRead(benchmark::State &State) {
    const int N = static_cast<int>(State.range(0));
    BenchGroup B(N);
    for (auto _ : State) {
        if (!B.Group->SyncRead(nullptr, true)) {
            State.SkipWithError("SyncRead failed");
            break;
        }
    }
    State.SetItemsProcessed(static_cast<int64_t>(State.iterations()) * N);
}
BENCHMARK(BM_SyncRead)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace
