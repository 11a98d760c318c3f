//===- ServerComponentStressTest.cpp - shutdown requests racing the component -===//
//
// The simulation server sends shutdown requests from its own threads while
// the component connects, disconnects and is destroyed on the test thread.
// Run under ThreadSanitizer: nothing may race, crash or leak, and no event
// may reach a component after it was destroyed.
//
//===----------------------------------------------------------------------===//

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/framework/Application.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>

namespace vexo {
namespace {

using platform::ComPtr;

/// Sends shutdown requests to one server object from a thread of its own until
/// stopped, alternating direct calls with requests queued for the scan thread.
class ShutdownSender {
  public:
    explicit ShutdownSender(ComPtr<IVexoSimControl> Control)
        : FControl(std::move(Control)), FThread([this] { Run(); }) {}
    ~ShutdownSender() {
        FStop.store(true);
        FThread.join();
    }
    int Sent() const { return FSent.load(); }

  private:
    void Run() {
        bool FromScan = false;
        while (!FStop.load()) {
            FControl->SendShutdown(u"stress", FromScan ? TRUE : FALSE);
            FromScan = !FromScan;
            FSent.fetch_add(1);
            std::this_thread::yield();
        }
    }
    ComPtr<IVexoSimControl> FControl;
    std::atomic<bool> FStop{false};
    std::atomic<int> FSent{0};
    std::thread FThread;
};

struct Counters {
    int Shutdowns = 0;
    int Disconnects = 0;
    int Connects = 0;
    int AfterDestroy = 0;
    bool Destroyed = false;
};

void Wire(TVexoServer &Server, Counters &C) {
    Server.OnServerShutdown = [&C](TObject *, const std::string &Reason) {
        EXPECT_EQ(Reason, "");
        C.AfterDestroy += C.Destroyed;
        ++C.Shutdowns;
    };
    Server.OnDisconnect = [&C](TObject *) {
        C.AfterDestroy += C.Destroyed;
        ++C.Disconnects;
    };
    Server.OnConnect = [&C](TObject *) {
        C.AfterDestroy += C.Destroyed;
        ++C.Connects;
    };
}

TEST(ServerComponentStress, ShutdownRequestsRaceConnectDisconnectAndDestroy) {
    // Shutdown requests from server threads never crash, leak or reach a destroyed
    // component, while the component connects, disconnects and is destroyed.
    RegisterSimulationServers();
    const long long TaskMemAtStart = platform::TaskMemLiveBlocks();
    const long long BStrAtStart = platform::BStrLiveCount();
    int TotalShutdowns = 0;
    int TotalSent = 0;
    for (int Round = 0; Round < 25; ++Round) {
        Counters C;
        auto Server = std::make_unique<TVexoServer>(nullptr);
        Wire(*Server, C);
        Server->OPCGroups()->Add("G");
        Server->Connect("Vexo.Simulation.1", "");
        {
            ShutdownSender Sender(Server->GetOPCServer().As<IVexoSimControl>());
            for (int Step = 0; Step < 6; ++Step) {
                if (!Server->Active())
                    Server->SetActive(true);
                Application->ProcessMessagesUntil([&] { return !Server->Active(); },
                                                  std::chrono::milliseconds(20));
                if (Step % 3 == 2)
                    Server->Disconnect();
            }
            if (Round % 2 == 0 && !Server->Active())
                Server->SetActive(true);
            // Destroyed while connected (even rounds) or disconnected, with the
            // sender still running and messages possibly queued.
            Server.reset();
            C.Destroyed = true;
            Application->ProcessMessages();
            TotalSent += Sender.Sent();
        }
        Application->ProcessMessages();
        EXPECT_EQ(C.AfterDestroy, 0) << "round " << Round;
        // Every shutdown event is followed by its disconnect.
        EXPECT_LE(C.Shutdowns, C.Disconnects) << "round " << Round;
        TotalShutdowns += C.Shutdowns;
    }
    EXPECT_GT(TotalSent, 0);
    EXPECT_GT(TotalShutdowns, 0) << "the requests never reached the component";
    EXPECT_EQ(platform::TaskMemLiveBlocks(), TaskMemAtStart);
    EXPECT_EQ(platform::BStrLiveCount(), BStrAtStart);
}

TEST(ServerComponentStress, LateRequestOnADetachedSinkAnswersSOk) {
    // A sink kept by a server beyond its component answers S_OK and posts nothing,
    // while requests and the detach race on two threads.
    RegisterSimulationServers();
    for (int Round = 0; Round < 30; ++Round) {
        Counters C;
        auto Server = std::make_unique<TVexoServer>(nullptr);
        Wire(*Server, C);
        Server->Connect("Vexo.Simulation.1", "");
        auto Sink = TVexoShutdownEvent::Create(Server.get());
        std::atomic<bool> Go{false};
        std::atomic<int> NotOk{0};
        std::thread Caller([&] {
            while (!Go.load())
                std::this_thread::yield();
            for (int I = 0; I < 200; ++I)
                if (Sink->ShutdownRequest(nullptr) != S_OK)
                    NotOk.fetch_add(1);
        });
        Go.store(true);
        Sink->Detach();
        UnadviseConnectionPoint(Server->GetOPCServer().Get(), IID_IOPCShutdown, Sink->Cookie());
        Server.reset();
        C.Destroyed = true;
        Caller.join();
        Sink = nullptr;
        Application->ProcessMessages();
        EXPECT_EQ(NotOk.load(), 0);
        EXPECT_EQ(C.AfterDestroy, 0);
    }
}

} // namespace
} // namespace vexo
