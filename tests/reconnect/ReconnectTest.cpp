//===- ReconnectTest.cpp - the server component stays connected ----------===//
//
// Behaviour of the reconnection policy against the simulation servers, whose
// process is taken offline and brought back: what finds a lost connection,
// the attempts and their delays, what the component looks like afterwards,
// and everything that must end an outage early. The attempts run from
// the message loop on short timers; every wait is for a condition.
//
//===----------------------------------------------------------------------===//

#include "reconnect/ReconnectFixture.h"

namespace vexo::test {
namespace {

using Lines = std::vector<std::string>;

class ReconnectTest : public ReconnectFixture {};

/// Pumps messages for a while without expecting anything to happen.
void PumpFor(std::chrono::milliseconds Time) {
    Application->ProcessMessagesUntil([] { return false; }, Time);
}

TEST(ConnectionLostCodes, OnlyCodesOfAGoneServerCount) {
    // The codes of an unreachable or vanished server count as lost; a busy
    // server, a refused call or an OPC error does not, nor does success.
    for (HRESULT Code : {RPC_S_SERVER_UNAVAILABLE_HR, RPC_S_CALL_FAILED_HR,
                         RPC_S_CALL_FAILED_DNE_HR, RPC_E_DISCONNECTED, RPC_E_SERVER_DIED,
                         RPC_E_SERVER_DIED_DNE, RPC_E_CONNECTION_TERMINATED, CO_E_OBJNOTCONNECTED})
        EXPECT_TRUE(IsConnectionLost(Code)) << std::hex << Code;
    for (HRESULT Code :
         {S_OK, S_FALSE, E_FAIL, E_OUTOFMEMORY, E_ACCESSDENIED,
          MakeHResult(0x80010001) /* call rejected: busy */,
          MakeHResult(0x800706BB) /* server too busy */, OPC_E_INVALIDHANDLE, OPC_E_UNKNOWNITEMID})
        EXPECT_FALSE(IsConnectionLost(Code)) << std::hex << Code;
}

TEST_F(ReconnectTest, ServerBackAfterThreeFailedAttemptsRecreatesEverything) {
    // After a shutdown the component retries with growing delays, and once the
    // server is back it holds the same groups and items on the new server
    // object, refreshed, with data changes arriving again.
    TVexoServer *Server = NewServer();
    AddGroups(*Server);
    Policy(*Server);
    Record(*Server);
    auto Old = ConnectSim(*Server);
    const Lines Before = Describe(*Server);
    std::string ErrorSeen;
    OnState = [&](TVexoServer &S, TVexoConnectionState State, int Attempt) {
        if (State == conReconnecting && Attempt == 2)
            ErrorSeen = S.ReconnectError();
        if (State == conReconnecting && Attempt == 4)
            Old->SetOffline(FALSE, 0);
    };
    ASSERT_EQ(Old->SendShutdown(u"restart", FALSE), S_OK);
    ASSERT_EQ(Old->SetOffline(TRUE, RPC_E_DISCONNECTED), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back().starts_with("reconnected"); }));

    EXPECT_EQ(Log, (Lines{"connect", "connected", "shutdown", "disconnect", "lost",
                          "reconnecting 1 1", "reconnecting 2 2", "reconnecting 3 4",
                          "reconnecting 4 4", "connect", "reconnected 4"}));
    EXPECT_EQ(ErrorSeen, "The RPC server is unavailable.");
    EXPECT_EQ(Server->ReconnectError(), "");
    EXPECT_TRUE(Server->Active());
    EXPECT_FALSE(Server->ReconnectPending());
    auto New = SimControl(*Server);
    ASSERT_TRUE(New);
    EXPECT_NE(New.Get(), Old.Get());
    EXPECT_EQ(Describe(*Server), Before);
    EXPECT_TRUE(Called(New.Get(), "AddGroup name=Fast active=1 rate=100 client=0"));
    EXPECT_TRUE(Called(New.Get(), "AddGroup name=Slow active=0 rate=1000 client=1"));
    // Only the active group holding active items is refreshed.
    EXPECT_TRUE(Called(New.Get(), "Refresh2"));
    int Refreshes = 0;
    for (const std::string &Line : SimCallLog(New.Get()))
        Refreshes += Line.starts_with("Refresh2");
    EXPECT_EQ(Refreshes, 1);

    // The subscription is back: a new value reaches OnDatachange.
    OleVariant Value(424242);
    ASSERT_EQ(New->SetTagValue(u"Simulation.Bucket.Int4", &Value.Var(), OPC_QUALITY_GOOD), S_OK);
    EXPECT_TRUE(PumpUntil([&] {
        return std::find(Changes.begin(), Changes.end(), "Simulation.Bucket.Int4=424242") !=
               Changes.end();
    }));
    // The old object, still reachable for its control, stays gone.
    OPCSERVERSTATUS *Status = nullptr;
    EXPECT_EQ(Old.As<IOPCServer>()->GetStatus(&Status), RPC_E_DISCONNECTED);
    EXPECT_EQ(Status, nullptr);
}

TEST_F(ReconnectTest, KeepAliveFindsASilentLossOnBothServerKinds) {
    // Without a shutdown notice the keep-alive status check finds the lost
    // connection; the DA 1.0 server's advise sinks come back the same way.
    for (const char *ProgID : {SimProgID, SimDA10ProgID}) {
        SCOPED_TRACE(ProgID);
        Log.clear();
        Changes.clear();
        TVexoServer *Server = NewServer();
        AddGroups(*Server);
        Policy(*Server, 5);
        Record(*Server);
        auto Old = ConnectSim(*Server, ProgID);
        Process = Old;
        OnState = [&](TVexoServer &, TVexoConnectionState State, int Attempt) {
            if (State == conReconnecting && Attempt == 2)
                Old->SetOffline(FALSE, 0);
        };
        ASSERT_EQ(Old->SetOffline(TRUE, RPC_S_SERVER_UNAVAILABLE_HR), S_OK);
        ASSERT_TRUE(PumpUntil([&] { return Log.size() == 8; }));
        EXPECT_EQ(Log, (Lines{"connect", "connected", "disconnect", "lost", "reconnecting 1 1",
                              "reconnecting 2 2", "connect", "reconnected 2"}));
        EXPECT_TRUE(Called(Old.Get(), "GetStatus"));
        auto New = SimControl(*Server);
        OleVariant Value(77);
        ASSERT_EQ(New->SetTagValue(u"Simulation.Bucket.Int4", &Value.Var(), OPC_QUALITY_GOOD),
                  S_OK);
        EXPECT_TRUE(PumpUntil([&] {
            return std::find(Changes.begin(), Changes.end(), "Simulation.Bucket.Int4=77") !=
                   Changes.end();
        }));
        OnState = nullptr;
        Free(Server);
        Old = nullptr;
        New = nullptr;
        Process = nullptr;
    }
}

TEST_F(ReconnectTest, OnlyALostConnectionCodeFromACallStartsTheRecovery) {
    // A call refused by the server leaves the connection alone; a call that
    // fails because the server is gone raises to the caller as before, and the
    // component then finds the loss and connects again.
    TVexoServer *Server = NewServer();
    AddGroups(*Server);
    Policy(*Server);
    Record(*Server);
    auto Old = ConnectSim(*Server);
    TVexoGroup *Fast = Server->OPCGroups()->GetItem(0);
    TVexoItemList Items(*Fast->OPCItems());

    ASSERT_EQ(Old->FailNextCall(u"Read", E_FAIL), S_OK);
    EXPECT_THROW(Fast->SyncRead(&Items, true), Exception);
    Application->ProcessMessages();
    EXPECT_TRUE(Server->Active());
    EXPECT_EQ(Log, (Lines{"connect", "connected"}));

    ASSERT_EQ(Old->SetOffline(TRUE, RPC_S_CALL_FAILED_HR), S_OK);
    try {
        Fast->SyncRead(&Items, true);
        ADD_FAILURE() << "the read did not raise";
    } catch (const EOleSysError &E) {
        EXPECT_EQ(E.ErrorCode(), RPC_S_CALL_FAILED_HR);
        EXPECT_EQ(E.Message(), "The remote procedure call failed.");
    }
    EXPECT_TRUE(Server->Active()); // nothing is torn down under the caller
    Old->SetOffline(FALSE, 0);
    ASSERT_TRUE(PumpUntil([&] { return Log.size() == 7; }));
    EXPECT_EQ(Log, (Lines{"connect", "connected", "disconnect", "lost", "reconnecting 1 1",
                          "connect", "reconnected 1"}));
    EXPECT_TRUE(Fast->IsOnServer());
}

TEST_F(ReconnectTest, PolicyOffKeepsTodaysBehaviour) {
    // With the policy off (its other settings given all the same) a lost
    // connection raises to the caller and nothing else happens, and a shutdown
    // disconnects for good: no status checks, no attempts, no state events.
    TVexoServer *Server = NewServer();
    AddGroups(*Server);
    Server->SetReconnectDelay(1);
    Server->SetKeepAliveInterval(1);
    Record(*Server);
    auto Old = ConnectSim(*Server);
    TVexoGroup *Fast = Server->OPCGroups()->GetItem(0);
    TVexoItemList Items(*Fast->OPCItems());
    PumpFor(std::chrono::milliseconds(30));
    EXPECT_FALSE(Called(Old.Get(), "GetStatus"));

    ASSERT_EQ(Old->SendShutdown(u"", FALSE), S_OK);
    ASSERT_EQ(Old->SetOffline(TRUE, RPC_E_DISCONNECTED), S_OK);
    EXPECT_THROW(Fast->SyncRead(&Items, true), EOleSysError);
    Application->ProcessMessages();
    EXPECT_EQ(Log, (Lines{"connect", "shutdown", "disconnect"}));
    EXPECT_FALSE(Server->Active());
    EXPECT_FALSE(Server->ReconnectPending());

    Old->SetOffline(FALSE, 0);
    PumpFor(std::chrono::milliseconds(30));
    EXPECT_FALSE(Server->Active());
    EXPECT_EQ(Log.size(), 3u);
    EXPECT_FALSE(Fast->IsOnServer());
}

TEST_F(ReconnectTest, TheApplicationEndsAnOutage) {
    // Disconnecting, connecting by hand or turning the policy off drops the
    // pending attempt, also from inside a state handler; no attempt runs
    // afterwards even though the server is back.
    enum Way { ByDisconnect, ByConnect, ByPolicyOff, FromHandler };
    for (Way How : {ByDisconnect, ByConnect, ByPolicyOff, FromHandler}) {
        SCOPED_TRACE(How);
        Log.clear();
        TVexoServer *Server = NewServer();
        AddGroups(*Server);
        Policy(*Server);
        if (How != FromHandler) {
            Server->SetReconnectDelay(50); // pending until the test acts
            Server->SetReconnectMaxDelay(50);
        }
        Record(*Server);
        auto Old = ConnectSim(*Server);
        Process = Old;
        OnState = [&](TVexoServer &S, TVexoConnectionState State, int Attempt) {
            if (How == FromHandler && State == conReconnecting && Attempt == 2)
                S.Disconnect();
        };
        ASSERT_EQ(Old->SendShutdown(u"", FALSE), S_OK);
        ASSERT_EQ(Old->SetOffline(TRUE, RPC_E_DISCONNECTED), S_OK);
        const std::string Last = How == FromHandler ? "reconnecting 2 2" : "reconnecting 1 50";
        ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == Last; }));
        Old->SetOffline(FALSE, 0);
        if (How == ByDisconnect)
            Server->Disconnect();
        else if (How == ByPolicyOff)
            Server->SetAutoReconnect(false);
        else if (How == ByConnect)
            Server->SetActive(true);
        EXPECT_FALSE(Server->ReconnectPending());
        const Lines Seen = Log;
        PumpFor(std::chrono::milliseconds(100));
        EXPECT_EQ(Log, Seen);
        EXPECT_EQ(Server->Active(), How == ByConnect);
        if (How == ByConnect)
            EXPECT_EQ(Lines(Log.end() - 3, Log.end()), (Lines{Last, "connect", "connected"}));
        else
            EXPECT_EQ(Log.back(), Last);
        OnState = nullptr;
        Free(Server);
        Old = nullptr;
        Process = nullptr;
    }
}

TEST_F(ReconnectTest, GivesUpAfterTheAllowedAttempts) {
    // With a limit of two attempts the component reports giving up after the
    // second failure, keeps why, and leaves connecting to the application.
    TVexoServer *Server = NewServer();
    AddGroups(*Server);
    Policy(*Server);
    Server->SetReconnectAttempts(2);
    Record(*Server);
    auto Old = ConnectSim(*Server);
    ASSERT_EQ(Old->SetOffline(TRUE, RPC_E_SERVER_DIED), S_OK);
    EXPECT_THROW(Server->GetServerState(), EOleSysError);
    ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == "given up 2"; }));
    EXPECT_EQ(Log, (Lines{"connect", "connected", "disconnect", "lost", "reconnecting 1 1",
                          "reconnecting 2 2", "given up 2"}));
    EXPECT_FALSE(Server->ReconnectPending());
    EXPECT_FALSE(Server->Active());
    EXPECT_EQ(Server->ReconnectError(), "The RPC server is unavailable.");

    Old->SetOffline(FALSE, 0);
    Server->SetActive(true);
    EXPECT_EQ(Log.back(), "connected");
    EXPECT_TRUE(Server->OPCGroups()->GetItem(1)->IsOnServer());
}

TEST_F(ReconnectTest, DestroyingTheComponentDuringAnOutageIsClean) {
    // A component freed while an attempt is pending (keep-alive running too)
    // leaves no timer or message behind that could reach it.
    TVexoServer *Server = NewServer();
    AddGroups(*Server);
    Policy(*Server, 1);
    Record(*Server);
    auto Old = ConnectSim(*Server);
    ASSERT_EQ(Old->SendShutdown(u"", FALSE), S_OK);
    ASSERT_EQ(Old->SetOffline(TRUE, RPC_E_DISCONNECTED), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return Server->ReconnectPending(); }));
    Free(Server);
    Old->SetOffline(FALSE, 0);
    const std::size_t Seen = Log.size();
    PumpFor(std::chrono::milliseconds(30));
    EXPECT_EQ(Log.size(), Seen);

    // Likewise a connected one whose keep-alive timer runs, with a probe queued.
    Server = NewServer();
    AddGroups(*Server);
    Policy(*Server, 1);
    ConnectSim(*Server);
    auto Now = SimControl(*Server);
    ASSERT_EQ(Now->SetOffline(TRUE, RPC_E_DISCONNECTED), S_OK);
    EXPECT_THROW(Server->GetServerState(), EOleSysError); // queues a connection check
    Free(Server);
    Now->SetOffline(FALSE, 0);
    PumpFor(std::chrono::milliseconds(30));
}

TEST_F(ReconnectTest, AHandlerMayFreeTheComponentAtAnyState) {
    // Freeing the component from OnDisconnect, OnConnect of an attempt or
    // OnConnectionState (lost, reconnecting, reconnected) ends the outage:
    // nothing of it is touched afterwards, and no timer or message of it runs
    // later.
    enum When { OnDisconnect, OnConnect, OnLost, OnReconnecting, OnReconnected };
    for (When At : {OnDisconnect, OnConnect, OnLost, OnReconnecting, OnReconnected}) {
        SCOPED_TRACE(At);
        Log.clear();
        TVexoServer *Server = NewServer();
        AddGroups(*Server);
        Policy(*Server);
        Record(*Server);
        bool Freed = false;
        // The handler's own closure goes with the component: it sets the flag first.
        auto FreeIt = [&](TObject *Sender) {
            Freed = true;
            Free(static_cast<TVexoServer *>(Sender));
        };
        if (At == OnDisconnect)
            Server->OnDisconnect = FreeIt;
        OnState = [&](TVexoServer &S, TVexoConnectionState State, int Attempt) {
            if ((At == OnLost && State == conLost) ||
                (At == OnReconnecting && State == conReconnecting && Attempt == 2) ||
                (At == OnReconnected && State == conReconnected))
                FreeIt(&S);
        };
        auto Old = ConnectSim(*Server);
        Process = Old;
        if (At == OnConnect)
            Server->OnConnect = FreeIt;
        ASSERT_EQ(Old->SendShutdown(u"", FALSE), S_OK);
        ASSERT_EQ(Old->SetOffline(TRUE, RPC_E_DISCONNECTED), S_OK);
        if (At == OnReconnected || At == OnConnect) {
            ASSERT_TRUE(PumpUntil([&] { return !Log.empty() && Log.back() == "reconnecting 2 2"; }));
            Old->SetOffline(FALSE, 0);
        }
        ASSERT_TRUE(PumpUntil([&] { return Freed; }));
        Old->SetOffline(FALSE, 0);
        const Lines Seen = Log;
        PumpFor(std::chrono::milliseconds(30));
        EXPECT_EQ(Log, Seen);
        OnState = nullptr;
        Old = nullptr;
        Process = nullptr;
    }
}

} // namespace
} // namespace vexo::test
