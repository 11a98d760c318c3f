//===- DataPathStressTest.cpp - data delivery racing the owner thread -----===//
//
// Callback threads deliver data at full speed while the owner thread reads
// values, adds and removes items and groups, and disconnects and reconnects.
// Run under ThreadSanitizer: nothing may crash, tear, leak or reach a freed
// object.
//
//===----------------------------------------------------------------------===//

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "client/ClientFixture.h"

#include <vexo/platform/Time.h>

namespace vexo::test {
namespace {

class DataPathStressTest : public ClientFixture {};

FILETIME Now() {
    FILETIME Ft;
    platform::GetSystemTimeAsFileTime(&Ft);
    return Ft;
}

TEST_F(DataPathStressTest, SinkCalledAtFullSpeedWhileItemsAndGroupsComeAndGo) {
    // A thread calls a group's data callback with string values as fast as it
    // can while the owner thread reads the values, destroys and creates items
    // and takes the group off the server and back; every value read is one
    // of the values written, whole.
    TVexoServer *Server = NewServer();
    ConnectManual(*Server);
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    for (int i = 0; i < 40; ++i)
        G->OPCItems()->AddItem("Simulation.Bucket.String");
    std::vector<OPCHANDLE> Handles;
    for (int i = 0; i < G->OPCItems()->Count(); ++i)
        Handles.push_back(G->OPCItems()->GetItem(i)->GetClientHandle());

    std::atomic<long long> Delivered{0};
    Server->OnDatachange = [&](TObject *, TVexoItemList *L) {
        for (int i = 0; i < L->Count(); ++i)
            (void)L->GetItem(i)->ValueStr();
        Delivered.fetch_add(1, std::memory_order_relaxed);
    };

    std::mutex SinkLock;
    platform::ComPtr<TVexoDataCallback> Sink(G->DataCallback());
    const OPCHANDLE GroupID = static_cast<OPCHANDLE>(G->ID());
    std::atomic<bool> Stop{false};
    // The thread keeps at most this many changes waiting for the owner, so the
    // queue stays bounded on a slow (sanitized) build.
    constexpr long long MaxInFlight = 64;
    std::atomic<long long> Calls{0};
    std::thread Scanner([&] {
        const std::string Long(200, 'x');
        OleVariant Values[2] = {OleVariant("short"), OleVariant(Long)};
        const std::size_t N = Handles.size();
        std::vector<VARIANT> Raw(N);
        std::vector<WORD> Q(N, 0xC0);
        std::vector<FILETIME> T(N, Now());
        std::vector<HRESULT> E(N, S_OK);
        for (unsigned Round = 0; !Stop.load(); ++Round) {
            if (Calls.load() - Delivered.load() > MaxInFlight) {
                std::this_thread::yield();
                continue;
            }
            Calls.fetch_add(1);
            for (std::size_t i = 0; i < N; ++i)
                Raw[i] = Values[(Round + i) % 2].Var();
            platform::ComPtr<TVexoDataCallback> S;
            {
                std::lock_guard<std::mutex> L(SinkLock);
                S = Sink;
            }
            S->OnDataChange(0, GroupID, S_OK, S_OK, static_cast<DWORD>(N), Handles.data(),
                            Raw.data(), Q.data(), T.data(), E.data());
        }
    });

    // At least 400 rounds, and on until the thread has delivered a few dozen
    // changes (it may start late on a busy machine).
    const std::string Long(200, 'x');
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int Round = 0;
         Round < 400 || (Delivered.load() < 50 && std::chrono::steady_clock::now() < Deadline);
         ++Round) {
        for (int i = 0; i < G->OPCItems()->Count(); ++i) {
            const std::string V = G->OPCItems()->GetItem(i)->ValueStr();
            ASSERT_TRUE(V.empty() || V == "short" || V == Long) << V;
        }
        Application->ProcessMessages();
        if (Round % 4 == 0 && G->OPCItems()->Count() > 20) {
            delete G->OPCItems()->GetItem(Round % G->OPCItems()->Count());
            G->OPCItems()->AddItem("Simulation.Bucket.String");
        }
        if (Round % 50 == 25) {
            G->OPCRemoveGroup(); // detaches the sink the thread keeps calling
            G->OPCAddGroup();
            std::lock_guard<std::mutex> L(SinkLock);
            Sink = platform::ComPtr<TVexoDataCallback>(G->DataCallback());
            // Calls into the detached sink posted nothing; stop counting them.
            Calls.store(Delivered.load());
        }
    }
    Stop = true;
    Scanner.join();
    {
        std::lock_guard<std::mutex> L(SinkLock);
        Sink = nullptr;
    }
    Application->ProcessMessages();
    EXPECT_GT(Delivered.load(), 0);
    Server->OnDatachange = nullptr;
}

TEST_F(DataPathStressTest, ScanThreadDeliversWhileTheOwnerReconnects) {
    // The simulation server's own scan thread delivers changes of every item
    // on both paths while the owner thread reads values, adds and removes
    // groups and items, and disconnects and reconnects.
    for (const char *ProgID : {SimProgID, SimDA10ProgID}) {
        SCOPED_TRACE(ProgID);
        TVexoServer *Server = NewServer();
        Server->OPCGroupDefault()->UpdateRate = 10;
        long long Delivered = 0;
        Server->OnDatachange = [&](TObject *, TVexoItemList *L) {
            for (int i = 0; i < L->Count(); ++i)
                (void)L->GetItem(i)->Snapshot();
            ++Delivered;
        };
        Server->Connect(ProgID, "");
        auto Control = SimControl(*Server);
        ASSERT_TRUE(Control);
        Control->SetRateGranularity(1);
        Control->SetForceChange(TRUE);
        for (int g = 0; g < 3; ++g) {
            TVexoGroup *G = Server->OPCGroups()->Add("G" + std::to_string(g));
            for (int i = 0; i < 30; ++i)
                G->OPCItems()->AddItem(i % 2 ? "Simulation.Ramp.String" : "Simulation.Ramp.Int4");
        }
        ASSERT_TRUE(PumpUntil([&] { return Delivered > 3; }));
        for (int Round = 0; Round < 60; ++Round) {
            Application->ProcessMessages();
            TVexoGroups *Groups = Server->OPCGroups();
            for (int g = 0; g < Groups->Count(); ++g)
                for (int i = 0; i < Groups->GetItem(g)->OPCItems()->Count(); ++i)
                    (void)Groups->GetItem(g)->OPCItems()->GetItem(i)->ValueStr();
            TVexoGroup *G = Groups->GetItem(Round % Groups->Count());
            if (G->OPCItems()->Count() > 5)
                delete G->OPCItems()->GetItem(0);
            G->OPCItems()->AddItem("Simulation.Ramp.Real8");
            if (Round % 10 == 3) {
                Groups->Remove(Groups->GetItem(0)->Name());
                Groups->Add("R" + std::to_string(Round))->OPCItems()->AddItem(
                    "Simulation.Ramp.Int4");
            }
            if (Round % 20 == 9) {
                Control = nullptr;
                Server->SetActive(false);
                Server->SetActive(true);
                Control = SimControl(*Server);
                ASSERT_TRUE(Control);
                Control->SetRateGranularity(1);
                Control->SetForceChange(TRUE);
            }
        }
        const long long Before = Delivered;
        ASSERT_TRUE(PumpUntil([&] { return Delivered > Before; }));
        Control = nullptr;
        Free(Server);
    }
}

} // namespace
} // namespace vexo::test
