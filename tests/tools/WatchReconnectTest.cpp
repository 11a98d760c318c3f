//===- WatchReconnectTest.cpp - a watch outlives a lost connection -------===//

#include "ToolFixture.h"

#include <vexo/Vexo.h>
#include <vexo/framework/Messages.h>

namespace vexo::test {
namespace {

constexpr const char *Host = "watch-host";

class WatchReconnectTest : public ToolTest {
  protected:
    static void SetUpTestSuite() {
        ToolTest::SetUpTestSuite();
        RegisterSimulationServers(Host);
    }
};

TEST_F(WatchReconnectTest, WatchPrintsEachStepAndGoesOnAfterTheServerIsBack) {
    // The server's process goes away under a running watch: the watch reports
    // the loss and the attempt, reconnects once the server is back, and prints
    // data changes again.
    TVexoServer Other(nullptr); // a second client of the same server class
    Other.Connect("Vexo.Simulation.1", Host);
    platform::ComPtr<IVexoSimControl> Control = Other.GetOPCServer().As<IVexoSimControl>();
    ASSERT_TRUE(Control);

    std::ostringstream Out, Err;
    int Step = 0;
    std::size_t DataAfter = 0;
    // Steps the outage from the watch's own message loop, on this thread.
    const HWND Driver = AllocateHWnd([&](TMessage &) {
        const std::string Text = Out.str();
        if (Step == 0 && Contains(Text, "\nSimulation.Ramp.Int4 ")) {
            Control->SetOffline(TRUE, RPC_E_DISCONNECTED);
            // The other client's call fails: every watching component of this
            // thread checks its own connection.
            try {
                Other.GetServerState();
            } catch (const Exception &) {
            }
            Step = 1;
        } else if (Step == 1 && Contains(Text, "-- reconnecting: attempt 1 in 1000 ms")) {
            Control->SetOffline(FALSE, 0);
            Step = 2;
        } else if (Step == 2 && Contains(Text, "-- reconnected after 1 attempt\n")) {
            DataAfter = Text.size();
            Step = 3;
        } else if (Step == 3 && Contains(Text.substr(DataAfter), "\nSimulation.Ramp.Int4 ")) {
            cli::RequestStop();
            Step = 4;
        }
    });
    ASSERT_TRUE(SetTimer(Driver, 1, 10));
    const int Code = cli::RunVexoOpc(
        {"watch", "Simulation.Ramp.Int4", "--computer", Host, "--rate", "100", "--seconds", "60"},
        Out, Err);
    DeallocateHWnd(Driver);
    EXPECT_EQ(Step, 4) << Out.str();
    EXPECT_EQ(Code, cli::ExitSuccess) << Err.str();
    EXPECT_EQ(Err.str(), "");
    std::vector<std::string> States;
    for (const std::string &Line : Lines(Out.str()))
        if (Line.starts_with("-- "))
            States.push_back(Line);
    EXPECT_EQ(States, (std::vector<std::string>{"-- lost", "-- reconnecting: attempt 1 in 1000 ms",
                                                "-- reconnected after 1 attempt"}));
    Control = nullptr;
    Other.Disconnect();
}

} // namespace
} // namespace vexo::test
