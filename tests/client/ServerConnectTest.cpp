//===- ServerConnectTest.cpp - connecting and disconnecting a TVexoServer ---===//
//
// Behaviour of the server component against the simulation servers: how a
// server name becomes a connection, where the platform's errors go, what a
// change of name or computer does to a connection, streamed activation and
// destruction.
//
//===----------------------------------------------------------------------===//

#include "client/ClientFixture.h"

#include <vexo/platform/Activation.h>
#include <vexo/platform/Guid.h>

namespace vexo::test {
namespace {

class ServerConnectTest : public ClientFixture {
  protected:
    /// Counts the component's connect, disconnect and error events.
    void Watch(TVexoServer &Server, bool SwallowErrors) {
        Server.OnConnect = [this](TObject *) { ++Connects; };
        Server.OnDisconnect = [this](TObject *) { ++Disconnects; };
        Server.OnError = [this, SwallowErrors](TObject *, const std::string &Msg, bool &Raise) {
            Errors.push_back(Msg);
            if (SwallowErrors)
                Raise = false;
        };
    }
    int Connects = 0;
    int Disconnects = 0;
    std::vector<std::string> Errors;
};

TEST_F(ServerConnectTest, NewComponentHasItsInitialValues) {
    // A fresh component is disconnected, empty, with version "1.3" that cannot change.
    TVexoServer *Server = NewServer();
    EXPECT_FALSE(Server->Active());
    EXPECT_FALSE(Server->BatchMode());
    EXPECT_EQ(Server->ServerName(), "");
    EXPECT_EQ(Server->ComputerName(), "");
    EXPECT_EQ(Server->ClientName(), "");
    EXPECT_EQ(Server->GetGroupCount(), 0);
    ASSERT_NE(Server->OPCGroups(), nullptr);
    ASSERT_NE(Server->OPCGroupDefault(), nullptr);
    ASSERT_NE(Server->Browser(), nullptr);
    EXPECT_EQ(Server->Version(), "1.3");
    Server->SetVersion("9.9");
    EXPECT_EQ(Server->Version(), "1.3");
}

TEST_F(ServerConnectTest, NamesThatNameNoClassGoThroughOnError) {
    // An empty or unknown server name is "first define servername", swallowable by OnError.
    TVexoServer *Server = NewServer();
    Watch(*Server, true);
    for (const char *Name : {"", "Vexo.NoSuchServer.1", "{not a class id}"}) {
        Errors.clear();
        Server->SetServer(Name);
        EXPECT_NO_THROW(Server->SetActive(true)) << Name;
        EXPECT_FALSE(Server->Active()) << Name;
        EXPECT_FALSE(Server->HasServerIF()) << Name;
        EXPECT_EQ(Errors, std::vector<std::string>{"first define servername"}) << Name;
    }
    EXPECT_EQ(Connects, 0);
}

TEST_F(ServerConnectTest, NamesThatNameNoClassRaiseWithoutHandler) {
    // Without an OnError handler the same failure raises EOPCException.
    TVexoServer *Server = NewServer();
    for (const char *Name : {"", "Vexo.NoSuchServer.1"}) {
        Server->SetServer(Name);
        try {
            Server->SetActive(true);
            ADD_FAILURE() << "no exception for " << Name;
        } catch (const EOPCException &E) {
            EXPECT_EQ(E.Message(), "first define servername");
        }
        EXPECT_FALSE(Server->Active());
    }
}

TEST_F(ServerConnectTest, ProgIDAndClassIdTextConnect) {
    // Both a program id and a class-id text in braces name the server.
    TVexoServer *Server = NewServer();
    Watch(*Server, false);
    Server->Connect(SimProgID, "");
    EXPECT_TRUE(Server->Active());
    EXPECT_TRUE(Server->Version2());
    Server->Connect(platform::GuidToString(CLSID_VexoSimulation), "");
    EXPECT_TRUE(Server->Active());
    EXPECT_TRUE(Server->HasServerIF());
    EXPECT_EQ(Connects, 2);
    EXPECT_EQ(Disconnects, 1);
}

TEST_F(ServerConnectTest, BlankComputerNameConnectsLocally) {
    // A computer name of blanks only is the local computer.
    TVexoServer *Server = NewServer();
    Server->Connect(SimProgID, "   ");
    EXPECT_TRUE(Server->Active());
    EXPECT_EQ(Server->ComputerName(), "   ");
}

TEST_F(ServerConnectTest, NamedComputerWithTheClassConnects) {
    // A server registered on a named computer is reached there.
    vexo::RegisterSimulationServers("plant-two");
    TVexoServer *Server = NewServer();
    Server->Connect(SimProgID, "plant-two");
    EXPECT_TRUE(Server->Active());
    EXPECT_FALSE(Server->GetVendorInfo().empty());
}

TEST_F(ServerConnectTest, PlatformFailuresPassToTheCallerAndHoldNothing) {
    // A computer without the class or an unknown computer raises the platform's error
    // directly: OnError is not consulted, Active stays false and no interface is held.
    platform::AddComputer("bare-host");
    struct Case {
        const char *Computer;
        HRESULT Expected;
    } Cases[] = {{"bare-host", REGDB_E_CLASSNOTREG},
                 {"no-such-host", RPC_S_SERVER_UNAVAILABLE_HR}};
    for (const Case &C : Cases) {
        Errors.clear();
        TVexoServer *Server = NewServer();
        Watch(*Server, true);
        Server->SetServer(SimProgID);
        Server->SetComputername(C.Computer);
        try {
            Server->SetActive(true);
            ADD_FAILURE() << "no exception for " << C.Computer;
        } catch (const EOleSysError &E) {
            EXPECT_EQ(E.ErrorCode(), C.Expected) << C.Computer;
        }
        EXPECT_FALSE(Server->Active());
        EXPECT_FALSE(Server->HasServerIF());
        EXPECT_FALSE(Server->GetCommonIF());
        EXPECT_EQ(Errors, std::vector<std::string>{"not connected to server"})
            << "only the GetCommonIF probe may report";
        EXPECT_EQ(Connects, 0);
        Free(Server);
    }
}

TEST_F(ServerConnectTest, ChangingNameOrComputerDisconnectsOnce) {
    // The same name changes nothing; another name or computer disconnects once and
    // does not reconnect.
    TVexoServer *Server = NewServer();
    Watch(*Server, false);
    Server->Connect(SimProgID, "");
    Server->SetServer(SimProgID);
    EXPECT_TRUE(Server->Active());
    EXPECT_EQ(Disconnects, 0);
    Server->SetServer(SimDA10ProgID);
    EXPECT_FALSE(Server->Active());
    EXPECT_EQ(Disconnects, 1);
    EXPECT_EQ(Server->ServerName(), SimDA10ProgID);

    Server->SetActive(true);
    Server->SetComputername("  ");
    EXPECT_FALSE(Server->Active());
    EXPECT_EQ(Disconnects, 2);
    EXPECT_EQ(Connects, 2);
}

TEST_F(ServerConnectTest, ConnectOnAConnectedComponentReconnects) {
    // Connect(name, computer) while connected: one OnDisconnect, then one OnConnect.
    TVexoServer *Server = NewServer();
    Watch(*Server, false);
    Server->Connect(SimProgID, "");
    Server->Connect(SimDA10ProgID, "");
    EXPECT_EQ(Connects, 2);
    EXPECT_EQ(Disconnects, 1);
    EXPECT_TRUE(Server->Active());
    EXPECT_FALSE(Server->Version2());
    Server->Disconnect();
    Server->Disconnect();
    EXPECT_EQ(Disconnects, 2);
}

TEST_F(ServerConnectTest, StreamedActiveConnectsOnceAfterLoaded) {
    // While loading, setters only store; Loaded connects once, after the groups exist.
    TVexoServer *Server = NewServer();
    Watch(*Server, false);
    bool GroupsCompleteAtConnect = false;
    Server->OnConnect = [&](TObject *) {
        ++Connects;
        GroupsCompleteAtConnect = Server->GetGroupCount() == 2;
    };
    Server->BeginLoading();
    Server->SetActive(true);
    Server->SetServer(SimProgID);
    Server->SetComputername("");
    Server->OPCGroups()->Add("First");
    Server->OPCGroups()->Add("Second");
    EXPECT_EQ(Connects, 0);
    EXPECT_FALSE(Server->HasServerIF());
    Server->EndLoading();
    EXPECT_EQ(Connects, 1);
    EXPECT_TRUE(Server->Active());
    EXPECT_TRUE(GroupsCompleteAtConnect);
    EXPECT_TRUE(Server->OPCGroups()->GetItem(0)->IsOnServer());
    EXPECT_TRUE(Server->OPCGroups()->GetItem(1)->IsOnServer());
}

TEST_F(ServerConnectTest, DesignTimeLoadClearsBatchMode) {
    // A component loaded in the designer never stays in batch mode.
    TVexoServer *Server = NewServer();
    Server->SetDesigning(true);
    Server->BeginLoading();
    Server->SetBatchMode(true);
    Server->EndLoading();
    EXPECT_FALSE(Server->BatchMode());
}

TEST_F(ServerConnectTest, DestroyingAConnectedComponentRaisesNoDisconnect) {
    // Destruction closes the connection without OnDisconnect.
    TVexoServer *Server = NewServer();
    Watch(*Server, false);
    Server->OPCGroups()->Add("G");
    Server->Connect(SimProgID, "");
    auto Control = SimControl(*Server);
    Control->ClearCallLog();
    Free(Server);
    EXPECT_EQ(Disconnects, 0);
    // The groups left the server before the connection was released.
    bool Removed = false;
    for (const std::string &Line : SimCallLog(Control.Get()))
        Removed = Removed || Line.rfind("RemoveGroup", 0) == 0;
    EXPECT_TRUE(Removed);
}

TEST_F(ServerConnectTest, ConnectionGuardsReportThroughFault) {
    // Disconnected: GetOPCServer and GetErrorString report "not connected to server"
    // and answer empty; Version2 answers false without a report.
    TVexoServer *Server = NewServer();
    Watch(*Server, true);
    EXPECT_FALSE(Server->GetOPCServer());
    EXPECT_EQ(Server->GetErrorString(E_FAIL), "");
    EXPECT_FALSE(Server->CheckServer());
    EXPECT_EQ(Errors.size(), 3u);
    for (const std::string &E : Errors)
        EXPECT_EQ(E, "not connected to server");
    Errors.clear();
    EXPECT_FALSE(Server->Version2());
    EXPECT_TRUE(Errors.empty());

    Server->OnError = nullptr;
    EXPECT_THROW(Server->GetOPCServer(), EOPCException);
}

TEST_F(ServerConnectTest, ErrorStringComesFromTheServerAndFailuresStaySilent) {
    // GetErrorString gives the server's own text; a failing call gives "" quietly.
    TVexoServer *Server = NewServer();
    Watch(*Server, false);
    auto Control = ConnectManual(*Server);
    EXPECT_FALSE(Server->GetErrorString(static_cast<HRESULT>(0xC0040007)).empty());
    Control->FailNextCall(OLESTR("GetErrorString"), E_FAIL);
    EXPECT_EQ(Server->GetErrorString(static_cast<HRESULT>(0xC0040007)), "");
    EXPECT_TRUE(Errors.empty());
}

TEST_F(ServerConnectTest, CachedInterfacesAndClientName) {
    // IOPCCommon and IOPCItemProperties are cached per connection, missing ones
    // answer empty, and a non-blank ClientName reaches the server.
    TVexoServer *Server = NewServer();
    Server->SetClientName("Line monitor");
    auto Control = ConnectManual(*Server);
    auto Common = Server->GetCommonIF();
    ASSERT_TRUE(Common);
    EXPECT_EQ(Server->GetCommonIF().Get(), Common.Get());
    EXPECT_TRUE(Server->GetItemPropIF());
    bool Named = false;
    for (const std::string &Line : SimCallLog(Control.Get()))
        Named = Named || (Line.find("SetClientName") != std::string::npos &&
                          Line.find("Line monitor") != std::string::npos);
    EXPECT_TRUE(Named);
    Control = nullptr;
    Common = nullptr;

    Server->Connect(SimDA10ProgID, "");
    EXPECT_TRUE(Server->Active());
    EXPECT_FALSE(Server->GetCommonIF());
    EXPECT_FALSE(Server->GetItemPropIF());
}

TEST_F(ServerConnectTest, ExceptionInOnConnectLeavesTheConnection) {
    // An exception inside OnConnect passes to the caller; the component stays connected.
    TVexoServer *Server = NewServer();
    Server->OnConnect = [](TObject *) { throw Exception("handler failed"); };
    Server->SetServer(SimProgID);
    EXPECT_THROW(Server->SetActive(true), Exception);
    EXPECT_TRUE(Server->Active());
    EXPECT_TRUE(Server->HasServerIF());
}

TEST_F(ServerConnectTest, HandlersThatChangeTheConnectionAreRespected) {
    // Active matches the connection after an OnConnect that disconnects and after an
    // OnDisconnect that reconnects.
    TVexoServer *Server = NewServer();
    Server->OnConnect = [Server](TObject *) { Server->Disconnect(); };
    Server->Connect(SimProgID, "");
    EXPECT_FALSE(Server->Active());
    EXPECT_FALSE(Server->HasServerIF());

    Server->OnConnect = nullptr;
    Server->SetActive(true);
    int Reconnects = 0;
    Server->OnDisconnect = [Server, &Reconnects](TObject *) {
        if (Reconnects++ == 0)
            Server->SetActive(true);
    };
    Server->Disconnect();
    EXPECT_TRUE(Server->Active());
    EXPECT_TRUE(Server->HasServerIF());
    EXPECT_NE(Server->GetServerState(), 0);
}

TEST_F(ServerConnectTest, InitSecuritySucceedsOnce) {
    // VexoInitSecurity reports the platform's answer: S_OK first, RPC_E_TOO_LATE after.
    platform::ResetSecurityForTesting();
    EXPECT_EQ(VexoInitSecurity(), S_OK);
    EXPECT_EQ(VexoInitSecurity(), RPC_E_TOO_LATE);
    platform::ResetSecurityForTesting();
}

TEST_F(ServerConnectTest, CoOPCServerCreatesLocallyAndRemotely) {
    // CoOPCServer.Create answers IOPCServer locally and on a named computer, and
    // raises the platform's error for a class that is not there.
    vexo::RegisterSimulationServers("plant-three");
    EXPECT_TRUE(CoOPCServer::Create(CLSID_VexoSimulation, ""));
    EXPECT_TRUE(CoOPCServer::Create(CLSID_VexoSimulationDA10, "plant-three"));
    GUID Unknown{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_THROW(CoOPCServer::Create(Unknown, ""), EOleSysError);
}

} // namespace
} // namespace vexo::test
