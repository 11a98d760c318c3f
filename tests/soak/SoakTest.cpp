//===- SoakTest.cpp - the whole client under load, for a while -----------===//
//
// Several server components on both simulation servers, with real scan
// threads, run a seeded random mix of work for a bounded time: groups at fast
// rates, asynchronous reads and writes, refreshes, cancels, synchronous reads,
// groups and items added and removed, shutdown requests from the servers'
// threads and reconnections. At the end of every round the scans are stopped
// and the queues drained, and the counters taken there must stay flat: heap
// in use, task memory, BSTRs, SAFEARRAYs, message targets' pending lists.
//
// VEXO_SOAK_SECONDS sets the duration (default 20 s); the figures are printed.
//
//===----------------------------------------------------------------------===//
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VEXO_SOAK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VEXO_SOAK_SANITIZED 1
#endif
#endif

namespace vexo {
namespace {

using Clock = std::chrono::steady_clock;

double SoakSeconds() {
    if (const char *Text = std::getenv("VEXO_SOAK_SECONDS"))
        if (const double S = std::atof(Text); S > 0)
            return S;
    return 20;
}

long long HeapInUse() {
    const struct mallinfo2 Info = mallinfo2();
    return static_cast<long long>(Info.uordblks + Info.hblkhd);
}

const char *const Writable[] = {"Simulation.Bucket.Int4", "Simulation.Bucket.Real8",
                                "Simulation.Bucket.String", "Simulation.Bucket.Int4Array"};
const char *const Changing[] = {"Simulation.Ramp.Int4",   "Simulation.Random.Real8",
                                "Simulation.Sine.Real8",  "Simulation.Ramp.String",
                                "Simulation.Arrays.Real8Array", "Simulation.Random.Time"};

struct Tally {
    long long Operations = 0;
    long long DataChanges = 0;
    long long WriteCompletes = 0;
    long long Shutdowns = 0;
    long long Reconnects = 0;
    long long Errors = 0;
    long long LateCancels = 0;
};

/// One server component and the work it does.
class Station {
  public:
    Station(const std::string &ProgID, int Index, Tally &T)
        : FProgID(ProgID), FIndex(Index), FTally(T), FServer(std::make_unique<TVexoServer>(nullptr)) {
        FServer->SetClientName("soak" + std::to_string(Index));
        FServer->OnDatachange = [this](TObject *, TVexoItemList *List) {
            FTally.DataChanges += List->Count();
        };
        FServer->OnWriteComplete = [this](TObject *, TVexoItemList *) { ++FTally.WriteCompletes; };
        FServer->OnWriteError = [this](TObject *, TVexoItemList *) { ++FTally.Errors; };
        FServer->OnServerShutdown = [this](TObject *, const std::string &) { ++FTally.Shutdowns; };
        for (int G = 0; G < 2; ++G)
            AddGroup();
        FServer->Connect(FProgID, "");
        FastRates();
    }

    /// One random operation; the caller counts it. LastOp names it.
    void Step(std::mt19937 &Rng) {
        LastOp = -1;
        if (!FServer->Active()) {
            FServer->SetActive(true);
            FastRates();
            ++FTally.Reconnects;
            return;
        }
        TVexoGroups &Groups = *FServer->OPCGroups();
        if (Groups.Count() == 0) {
            AddGroup();
            return;
        }
        TVexoGroup &G = *Groups.GetItem(static_cast<int>(Rng() % Groups.Count()));
        LastOp = static_cast<int>(Rng() % 12);
        switch (LastOp) {
        case 0:
            if (Groups.Count() < 5)
                AddGroup();
            break;
        case 1:
            if (Groups.Count() > 1)
                Groups.Remove(G.Name());
            break;
        case 2:
            G.OPCItems()->AddItem(Changing[Rng() % std::size(Changing)]);
            break;
        case 3:
            if (G.OPCItems()->Count() > 2)
                G.OPCItems()->Delete(static_cast<int>(Rng() % G.OPCItems()->Count()));
            break;
        case 4:
            G.AsyncRead(nullptr);
            break;
        case 5:
        case 6: {
            TVexoItemList List;
            for (int I = 0; I < G.OPCItems()->Count(); ++I) {
                TVexoItem *Item = G.OPCItems()->GetItem(I);
                if (Item->ItemID() == Writable[0] || Item->ItemID() == Writable[1]) {
                    Item->SetWriteValue(OleVariant(static_cast<int>(Rng() % 1000)));
                    List.AddItem(Item);
                }
            }
            if (List.Count() > 0)
                G.AsyncWrite(&List);
            break;
        }
        case 7:
            G.Refresh(Rng() % 2 == 0);
            break;
        case 8:
            G.AsyncRead(nullptr);
            try {
                G.CancelLastAsyncCall();
            } catch (const Exception &) {
                // The scan thread finished the read first: too late to cancel.
                ++FTally.LateCancels;
            }
            break;
        case 9:
            G.SyncRead(nullptr, Rng() % 2 == 0);
            break;
        case 10:
            G.SetUpdateRate(G.UpdateRate() == 10 ? 30 : 10);
            break;
        case 11:
            // Now and then the server asks the client to go; the component
            // disconnects on the message and connects again on a later step.
            if (Rng() % 4 == 0)
                if (auto Control = FServer->GetOPCServer().As<IVexoSimControl>())
                    Control->SendShutdown(u"soak", TRUE);
            break;
        }
    }

    /// Stops (true) or restarts the server's scan thread.
    void Hold(bool Stop) {
        if (!FServer->HasServerIF())
            return;
        if (auto Control = FServer->GetOPCServer().As<IVexoSimControl>())
            Control->SetManualMode(Stop ? TRUE : FALSE);
    }

    /// Back to the first configuration: two new groups of four items.
    void Reset() {
        FServer->OPCGroups()->RemoveAll();
        AddGroup();
        AddGroup();
    }

    /// Revised rates in steps of 10 ms instead of 100, and no call log (a new
    /// server object after every reconnection).
    void FastRates() {
        if (auto Control = FServer->GetOPCServer().As<IVexoSimControl>()) {
            Control->SetRateGranularity(10);
            Control->EnableCallLog(FALSE);
        }
    }

    TVexoServer &Server() { return *FServer; }
    int LastOp = -1;

  private:
    void AddGroup() {
        TVexoGroup *G = FServer->OPCGroups()->Add("G" + std::to_string(FIndex) + "." +
                                                   std::to_string(FNextGroup++));
        G->SetUpdateRate(10);
        for (const char *Id : {Writable[0], Writable[1], Changing[0], Changing[1]})
            G->OPCItems()->AddItem(Id);
    }

    std::string FProgID;
    int FIndex;
    Tally &FTally;
    std::unique_ptr<TVexoServer> FServer;
    int FNextGroup = 0;
};

TEST(Soak, CountersStayFlatUnderLoadShutdownsAndReconnections) {
    // Memory, task memory, BSTR and SAFEARRAY counts stay flat over a long
    // mixed run with real scan threads, and return to their start at the end.
    RegisterSimulationServers();
    std::vector<std::string> Errors;
    TUIServices Quiet;
    Quiet.ShowMessage = [&](const std::string &Text) { Errors.push_back(Text); };
    Quiet.Beep = [] {};
    Quiet.SetBusyCursor = [](bool) {};
    Quiet.ProcessPendingMessages = [] {};
    TUIServices SavedUI = SetUIServices(std::move(Quiet));
    auto SavedOnException = Application->OnException;
    Application->OnException = [&](TObject *, const Exception &E) { Errors.push_back(E.Message()); };

    const long long TaskMemAtStart = platform::TaskMemLiveBlocks();
    const long long BStrAtStart = platform::BStrLiveCount();
    const long long ArraysAtStart = platform::SafeArrayLiveCount();
    const double Seconds = SoakSeconds();
    const auto Deadline = Clock::now() + std::chrono::duration<double>(Seconds);

    Tally T;
    std::mt19937 Rng(20261208);
    struct Sample {
        long long Heap, TaskMem, BStr, Arrays;
    };
    std::vector<Sample> Samples;
    long long PeakHeap = 0;
    {
        std::vector<std::unique_ptr<Station>> Stations;
        Stations.push_back(std::make_unique<Station>("Vexo.Simulation.1", 0, T));
        Stations.push_back(std::make_unique<Station>("Vexo.Simulation.1", 1, T));
        Stations.push_back(std::make_unique<Station>("Vexo.Simulation.DA10.1", 2, T));
        while (Clock::now() < Deadline) {
            for (int I = 0; I < 200; ++I) {
                Station &S = *Stations[Rng() % Stations.size()];
                try {
                    S.Step(Rng);
                } catch (const Exception &E) {
                    Errors.push_back("operation " + std::to_string(S.LastOp) + ": " + E.Message());
                }
                ++T.Operations;
                // Let the owner thread see what the scan threads posted.
                const long long Before = T.DataChanges;
                Application->ProcessMessagesUntil([&] { return T.DataChanges != Before; },
                                                  std::chrono::milliseconds(I % 20 == 0 ? 15 : 0));
            }
            PeakHeap = std::max(PeakHeap, HeapInUse());
            // A quiet point: scans stopped, queues drained, first configuration.
            for (auto &S : Stations)
                S->Hold(true);
            Application->ProcessMessages();
            for (auto &S : Stations) {
                if (!S->Server().Active()) {
                    S->Server().SetActive(true);
                    S->FastRates();
                }
                S->Hold(true);
                S->Reset();
            }
            Application->ProcessMessages();
            Samples.push_back({HeapInUse(), platform::TaskMemLiveBlocks(), platform::BStrLiveCount(),
                               platform::SafeArrayLiveCount()});
            for (auto &S : Stations)
                S->Hold(false);
        }
        Stations.clear();
    }
    Application->ProcessMessages();
    const long long FinalHeap = HeapInUse();
    Application->OnException = SavedOnException;
    SetUIServices(SavedUI);

    std::printf("[ soak     ] %.0f s: %lld operations, %lld values delivered, %lld write "
                "completions, %lld shutdowns, %lld reconnections, %lld late cancels, %zu quiet points\n",
                Seconds, T.Operations, T.DataChanges, T.WriteCompletes, T.Shutdowns, T.Reconnects,
                T.LateCancels, Samples.size());
    std::printf("[ soak     ] heap in use: peak %lld KiB, final %lld KiB", PeakHeap / 1024,
                FinalHeap / 1024);
    if (Samples.size() > 1)
        std::printf(", quiet points from %lld to %lld KiB", Samples[Samples.size() / 4].Heap / 1024,
                    Samples.back().Heap / 1024);
    std::printf("\n");

    EXPECT_TRUE(Errors.empty()) << Errors.size() << " errors, first: " << Errors.front();
    EXPECT_EQ(T.Errors, 0);
    EXPECT_GT(T.DataChanges, 0);
    EXPECT_GT(T.WriteCompletes, 0);
    ASSERT_GE(Samples.size(), 2u);
    // Every quiet point holds the same configuration, so the counters there
    // must not grow; the heap may move within what allocator caches explain.
    const Sample &Early = Samples[Samples.size() / 4];
    for (const Sample &S : Samples) {
        EXPECT_EQ(S.TaskMem, Samples.front().TaskMem);
        EXPECT_EQ(S.BStr, Samples.front().BStr);
        EXPECT_EQ(S.Arrays, Samples.front().Arrays);
    }
#ifndef VEXO_SOAK_SANITIZED
    EXPECT_LT(Samples.back().Heap - Early.Heap, 1 << 20) << "heap grows from quiet point to quiet point";
#endif
    EXPECT_EQ(platform::TaskMemLiveBlocks(), TaskMemAtStart);
    EXPECT_EQ(platform::BStrLiveCount(), BStrAtStart);
    EXPECT_EQ(platform::SafeArrayLiveCount(), ArraysAtStart);
}

} // namespace
} // namespace vexo
