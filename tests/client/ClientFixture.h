//===- ClientFixture.h - shared fixture of the client behaviour tests -----===//
//
// ClientFixture registers the simulation servers once, counts task-memory,
// BSTR and SAFEARRAY blocks at SetUp and checks at TearDown that they are
// back (after draining pending messages), and captures what the library
// shows the user: ShowMessage texts, beeps and exceptions passed to the
// application's handler. Helpers reach a server's test-control interface and
// pump messages until a condition holds.
//
//   class GroupTest : public vexo::test::ClientFixture {};
//   TEST_F(GroupTest, Something) {
//       auto Server = NewServer();          // freed before TearDown counts
//       Server->Connect("Vexo.Simulation.1", "");
//       auto Control = SimControl(*Server);
//       ASSERT_TRUE(PumpUntil([&] { return Events == 1; }));
//   }
//
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>

#include "support/SimServers.h"
#include <vexo/framework/Application.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>

namespace vexo::test {

constexpr const char *SimProgID = "Vexo.Simulation.1";
constexpr const char *SimDA10ProgID = "Vexo.Simulation.DA10.1";

class ClientFixture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { UseSimulationServers(); }

    void SetUp() override {
        TaskMemAtStart = platform::TaskMemLiveBlocks();
        BStrAtStart = platform::BStrLiveCount();
        SafeArrayAtStart = platform::SafeArrayLiveCount();
        TUIServices Capture;
        Capture.ShowMessage = [this](const std::string &Text) { Messages.push_back(Text); };
        Capture.Beep = [this] { ++Beeps; };
        Capture.SetBusyCursor = [](bool) {};
        Capture.ProcessPendingMessages = [] {};
        SavedUI = SetUIServices(std::move(Capture));
        SavedOnException = Application->OnException;
        Application->OnException = [this](TObject *, const Exception &E) {
            Exceptions.push_back(E.Message());
        };
    }

    void TearDown() override {
        // Components a test made through NewServer go first, so that what they
        // hold is released before the counters are compared.
        Servers.clear();
        Application->ProcessMessages();
        Application->OnException = SavedOnException;
        SetUIServices(SavedUI);
        if (TaskMemExact()) {
            EXPECT_EQ(platform::TaskMemLiveBlocks(), TaskMemAtStart) << "task memory leaked";
        }
        EXPECT_EQ(platform::BStrLiveCount(), BStrAtStart) << "BSTR leaked";
        EXPECT_EQ(platform::SafeArrayLiveCount(), SafeArrayAtStart) << "SAFEARRAY leaked";
    }

    /// A server component without owner, freed at TearDown (or earlier by the
    /// test through Free).
    TVexoServer *NewServer() {
        Servers.push_back(std::make_unique<TVexoServer>(nullptr));
        return Servers.back().get();
    }
    /// Frees a component made by NewServer now.
    void Free(TVexoServer *Server) {
        std::erase_if(Servers, [Server](const auto &P) { return P.get() == Server; });
    }

    /// The simulation server's control interface of a connected component.
    static platform::ComPtr<IVexoSimControl> SimControl(TVexoServer &Server) {
        return Server.GetOPCServer().As<IVexoSimControl>();
    }

    /// Delivers messages until Cond holds or Timeout passes; returns Cond().
    static bool PumpUntil(const std::function<bool()> &Cond,
                          std::chrono::milliseconds Timeout = std::chrono::seconds(10)) {
        return Application->ProcessMessagesUntil(Cond, Timeout);
    }

    /// Connects Server to the simulation server in manual scan mode.
    static platform::ComPtr<IVexoSimControl> ConnectManual(TVexoServer &Server,
                                                           const std::string &ProgID = SimProgID) {
        Server.Connect(ProgID, "");
        auto Control = SimControl(Server);
        if (Control)
            Control->SetManualMode(TRUE);
        return Control;
    }

    std::vector<std::string> Messages;   ///< ShowMessage texts
    int Beeps = 0;                       ///< Beep calls
    std::vector<std::string> Exceptions; ///< messages given to Application->OnException

  private:
    long long TaskMemAtStart = 0;
    long long BStrAtStart = 0;
    long long SafeArrayAtStart = 0;
    TUIServices SavedUI;
    TApplication::TExceptionEvent SavedOnException;
    std::vector<std::unique_ptr<TVexoServer>> Servers;
};

} // namespace vexo::test
