//===- SimOfflineTest.cpp - the simulation server's process goes away ----===//
//
// The test control that takes a simulation class's process offline and
// brings it back, seen from a client: failing calls, silent callbacks,
// refused creation, and fresh objects afterwards.
//
//===----------------------------------------------------------------------===//

#include "reconnect/ReconnectFixture.h"

namespace vexo::test {
namespace {

constexpr const char *Host = "offline-host";

class SimOfflineTest : public ReconnectFixture {
  protected:
    static void SetUpTestSuite() {
        ReconnectFixture::SetUpTestSuite();
        RegisterSimulationServers(Host);
    }
};

TEST_F(SimOfflineTest, OfflineProcessEndsItsObjectsUntilItIsBack) {
    // Offline, every object of the class on that computer fails each call with
    // the code given and calls back no more, and no new one can be made; once
    // back, new objects work and the old ones stay gone. Other classes and
    // computers are not touched.
    TVexoServer *Server = NewServer();
    int DataChanges = 0;
    Server->OnDatachange = [&](TObject *, TVexoItemList *) { ++DataChanges; };
    Server->Connect(SimProgID, Host);
    auto Old = SimControl(*Server);
    Process = Old;
    ASSERT_EQ(Old->SetManualMode(TRUE), S_OK);
    ASSERT_EQ(Old->SetForceChange(TRUE), S_OK);
    TVexoGroup *Group = Server->OPCGroups()->Add("G");
    Group->OPCItems()->AddItem("Simulation.Ramp.Int4");
    ASSERT_EQ(Old->RunScan(1000), S_OK);
    Application->ProcessMessages();
    ASSERT_GT(DataChanges, 0);
    TVexoServer *Bystander = NewServer();
    Bystander->Connect(SimDA10ProgID, Host);
    TVexoServer *Local = NewServer();
    Local->Connect(SimProgID, "");

    EXPECT_EQ(Old->SetOffline(TRUE, S_FALSE), E_INVALIDARG);
    ASSERT_EQ(Old->SetOffline(TRUE, RPC_E_DISCONNECTED), S_OK);
    TVexoItemList Items(*Group->OPCItems());
    try {
        Group->SyncRead(&Items, true);
        ADD_FAILURE() << "the read did not fail";
    } catch (const EOleSysError &E) {
        EXPECT_EQ(E.ErrorCode(), RPC_E_DISCONNECTED);
    }
    EXPECT_THROW(Server->GetServerState(), EOleSysError);
    EXPECT_THROW(Server->OPCGroups()->Add("H"), EOleSysError);
    DataChanges = 0;
    EXPECT_EQ(Old->RunScan(1000), S_OK); // control still answers, nothing is sent
    EXPECT_EQ(Old->SendShutdown(u"", FALSE), S_OK);
    Application->ProcessMessages();
    EXPECT_EQ(DataChanges, 0);
    EXPECT_TRUE(Server->Active());
    EXPECT_TRUE(Called(Old.Get(), "Read")); // the calls reached it and were logged

    TVexoServer *Late = NewServer();
    try {
        Late->Connect(SimProgID, Host);
        ADD_FAILURE() << "an object was made while offline";
    } catch (const EOleSysError &E) {
        EXPECT_EQ(E.ErrorCode(), RPC_S_SERVER_UNAVAILABLE_HR);
    }
    EXPECT_FALSE(Late->Active());
    EXPECT_NO_THROW(Bystander->GetServerState());
    EXPECT_NO_THROW(Local->GetServerState());

    ASSERT_EQ(Old->SetOffline(FALSE, 0), S_OK);
    Late->Connect(SimProgID, Host);
    EXPECT_NO_THROW(Late->GetServerState());
    EXPECT_THROW(Server->GetServerState(), EOleSysError);
    Server->Disconnect(); // its calls fail, the disconnect does not
    EXPECT_FALSE(Server->Active());
}

} // namespace
} // namespace vexo::test
