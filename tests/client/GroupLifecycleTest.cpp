//===- GroupLifecycleTest.cpp - groups locally and on the server ---------===//
//
// Behaviour of TVexoGroups and TVexoGroup against the simulation servers:
// names, defaults, creation on connect, state setters, renaming, removal and
// servers whose groups lack interfaces.
//
//===----------------------------------------------------------------------===//
#include "GroupTestSupport.h"

namespace vexo::test {
namespace {

using GroupLifecycle = GroupFixture;

TEST_F(GroupLifecycle, LocalGroupTakesDefaultsAndRefusesDuplicateOrBlankNames) {
    // A local group takes the server's defaults; Add refuses a name in use or blank.
    const TVexoDefaultGroup &D = *Server->OPCGroupDefault();
    EXPECT_TRUE(D.IsActive);
    EXPECT_EQ(D.UpdateRate, 1000);
    EXPECT_EQ(D.DeadBand, 0.0f);
    EXPECT_EQ(D.LocaleId, 0);
    EXPECT_EQ(D.TimeBias, 0);
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    EXPECT_EQ(G->Name(), "G");
    EXPECT_TRUE(G->IsActive());
    EXPECT_EQ(G->UpdateRate(), 1000);
    EXPECT_EQ(G->ServerHandle(), static_cast<OPCHANDLE>(-1));
    EXPECT_FALSE(G->IsOnServer());
    EXPECT_EQ(OPCErrorOf([&] { Server->OPCGroups()->Add("G"); }), "group G already exists");
    EXPECT_EQ(OPCErrorOf([&] { Server->OPCGroups()->Add(""); }), "group  already exists");
    EXPECT_EQ(OPCErrorOf([&] { Server->OPCGroups()->Add(" \t"); }), "group  \t already exists");
    EXPECT_EQ(Server->OPCGroups()->Count(), 1);
    EXPECT_EQ(Server->OPCGroups()->Exists("g"), -1);
    EXPECT_EQ(Server->OPCGroups()->GetOPCGroup("G"), G);
    EXPECT_EQ(OPCErrorOf([&] { Server->OPCGroups()->Remove("X"); }), "group not found");
}

TEST_F(GroupLifecycle, UnnamedGroupsAreNamedAfterTheCountAndDisplayNamesTrim) {
    // Constructed groups are named after the count; blank names display as the class name.
    TVexoGroups &Groups = *Server->OPCGroups();
    auto *G0 = static_cast<TVexoGroup *>(Groups.TCollection::Add());
    auto *G1 = static_cast<TVexoGroup *>(Groups.TCollection::Add());
    EXPECT_EQ(G0->Name(), "TVexoGroup0");
    EXPECT_EQ(G1->Name(), "TVexoGroup1");
    EXPECT_EQ(G1->ID(), 1);
    Groups.Delete(0);
    auto *G2 = static_cast<TVexoGroup *>(Groups.TCollection::Add());
    EXPECT_EQ(G2->Name(), "TVexoGroup1");
    EXPECT_EQ(G2->ID(), 2);
    G2->SetName("  ");
    EXPECT_EQ(G2->GetDisplayName(), "TVexoGroup");
    G2->SetName(" A ");
    EXPECT_EQ(G2->GetDisplayName(), " A ");
}

TEST_F(GroupLifecycle, ConnectCreatesLocalGroupsInIndexOrderWithTheirItems) {
    // Connecting creates every local group in index order, IDs as client handles, items added.
    for (const char *Name : {"A", "B", "C"})
        Server->OPCGroups()->Add(Name)->OPCItems()->AddItem(GoodId);
    Server->Connect(SimDA20, "");
    Control = Server->GetOPCServer().As<IVexoSimControl>();
    const std::vector<std::string> Adds = CallLines("AddGroup");
    ASSERT_EQ(Adds.size(), 3u);
    for (int I = 0; I < 3; ++I) {
        TVexoGroup *G = Server->OPCGroups()->GetItem(I);
        EXPECT_NE(Adds[I].find("name=" + G->Name()), std::string::npos) << Adds[I];
        EXPECT_NE(Adds[I].find("client=" + std::to_string(I)), std::string::npos) << Adds[I];
        EXPECT_TRUE(G->IsOnServer());
        EXPECT_NE(G->ServerHandle(), static_cast<OPCHANDLE>(-1));
        EXPECT_TRUE(G->DataCallback());
        EXPECT_NE(G->OPCItems()->GetItem(0)->ServerHandle(), static_cast<OPCHANDLE>(-1));
    }
    EXPECT_EQ(Calls("AddItems"), 3);
}

TEST_F(GroupLifecycle, UpdateRateIsStoredLocallyAndRevisedByTheServer) {
    // A local rate is stored as given; on the server the revised rate is stored; no change sends nothing.
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    G->SetUpdateRate(500);
    EXPECT_EQ(G->UpdateRate(), 500);
    Connect();
    Control->SetRateGranularity(1000);
    G->SetUpdateRate(600);
    EXPECT_EQ(G->UpdateRate(), 1000);
    Control->ClearCallLog();
    G->SetUpdateRate(1000);
    EXPECT_EQ(Calls("SetState"), 0);
    // The largest rate comes back revised within the signed range, never negative.
    G->SetUpdateRate(INT32_MAX);
    EXPECT_EQ(G->UpdateRate(), 2147483000);
}

TEST_F(GroupLifecycle, EachSetterSendsTheWholeStateInOneCall) {
    // Setting dead band, active flag, locale or time bias sends one SetState and stores the revised rate.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    Control->SetRateGranularity(3000);
    Control->ClearCallLog();
    G->SetDeadBand(2.5f);
    EXPECT_EQ(Calls("SetState"), 1);
    EXPECT_EQ(G->DeadBand(), 2.5f);
    EXPECT_EQ(G->UpdateRate(), 3000);
    G->SetIsActive(false);
    G->SetTimeBias(60);
    G->SetLocaleId(1031);
    EXPECT_EQ(Calls("SetState"), 4);
    tGroupStateRec State;
    G->GetState(State);
    EXPECT_EQ(State.Name, "G");
    EXPECT_FALSE(State.IsActive);
    EXPECT_EQ(State.DeadBand, 2.5f);
    EXPECT_EQ(State.TimeBias, 60);
    EXPECT_EQ(State.LocaleId, 1031u);
    EXPECT_EQ(State.UpdateRate, 3000u);
    EXPECT_EQ(State.ClientHandle, static_cast<OPCHANDLE>(G->ID()));
    EXPECT_EQ(State.ServerHandle, G->ServerHandle());
}

TEST_F(GroupLifecycle, RefusedStateOrRenameKeepsTheOldValue) {
    // A setter whose server call fails raises and leaves the field as it was.
    Connect();
    Server->OPCGroups()->Add("A");
    TVexoGroup *B = Server->OPCGroups()->Add("B");
    EXPECT_THROW(B->SetName("A"), Exception); // the server refuses a duplicate name
    EXPECT_EQ(B->Name(), "B");
    FailNext(OLESTR("SetState"), E_FAIL);
    EXPECT_THROW(B->SetDeadBand(5.0f), Exception);
    EXPECT_EQ(B->DeadBand(), 0.0f);
    B->SetName("C");
    tGroupStateRec State;
    B->GetState(State);
    EXPECT_EQ(State.Name, "C");
}

TEST_F(GroupLifecycle, GroupsWithoutStateInterfaceOnlyStore) {
    // A server whose groups lack IOPCGroupStateMgt: setters store as for a local group.
    Connect();
    Control->WithholdInterface(SIM_TARGET_GROUPS, IID_IOPCGroupStateMgt, TRUE);
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    ASSERT_TRUE(G->IsOnServer());
    EXPECT_FALSE(G->GroupStateMgt());
    Control->ClearCallLog();
    G->SetUpdateRate(250);
    G->SetIsActive(false);
    G->SetName("H");
    EXPECT_EQ(G->UpdateRate(), 250);
    EXPECT_EQ(G->Name(), "H");
    EXPECT_EQ(Calls("SetState") + Calls("SetName"), 0);
    tGroupStateRec State;
    EXPECT_EQ(OPCErrorOf([&] { G->GetState(State); }), "not connected to server");
}

TEST_F(GroupLifecycle, RemoveAllTakesEveryGroupOffTheServerFirst) {
    // RemoveAll on a connected component removes each group from the server and empties the collection.
    Connect();
    Server->OPCGroups()->Add("A")->OPCItems()->AddItem(GoodId);
    Server->OPCGroups()->Add("B");
    Control->ClearCallLog();
    Server->OPCGroups()->RemoveAll();
    EXPECT_EQ(Server->OPCGroups()->Count(), 0);
    EXPECT_EQ(Calls("RemoveGroup"), 2);
    EXPECT_EQ(Calls("RemoveItems"), 1);
    EXPECT_TRUE(Handled.empty());
}

TEST_F(GroupLifecycle, GroupsSurviveDisconnectAndReturnOnReconnect) {
    // Disconnecting keeps groups, settings and items; the next connect creates them again.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    TVexoItem *Item = G->OPCItems()->AddItem(GoodId);
    G->SetDeadBand(1.5f);
    G->SetTaskId(7);
    Server->Disconnect();
    EXPECT_FALSE(G->IsOnServer());
    EXPECT_EQ(G->ServerHandle(), static_cast<OPCHANDLE>(-1));
    EXPECT_FALSE(G->DataCallback());
    EXPECT_EQ(Item->ServerHandle(), static_cast<OPCHANDLE>(-1));
    Control.Reset();
    Connect();
    EXPECT_TRUE(G->IsOnServer());
    EXPECT_EQ(G->TaskId(), 0u);
    EXPECT_EQ(G->DeadBand(), 1.5f);
    EXPECT_NE(Item->ServerHandle(), static_cast<OPCHANDLE>(-1));
}

TEST_F(GroupLifecycle, RefusedAddGroupLeavesTheGroupLocal) {
    // A failed AddGroup raises and the new group stays in the collection, local.
    Connect();
    FailNext(OLESTR("AddGroup"), E_OUTOFMEMORY);
    EXPECT_THROW(Server->OPCGroups()->Add("G"), Exception);
    ASSERT_EQ(Server->OPCGroups()->Count(), 1);
    TVexoGroup *G = Server->OPCGroups()->GetItem(0);
    EXPECT_FALSE(G->IsOnServer());
    EXPECT_EQ(G->ServerHandle(), static_cast<OPCHANDLE>(-1));
    G->OPCAddGroup();
    EXPECT_TRUE(G->IsOnServer());
}

TEST_F(GroupLifecycle, DataOnlyServersAndMissingConnectionPointsUseTheAdviseSink) {
    // A DA 1.0 server, or a group without the callback connection point, gets the advise sink.
    Connect(SimDA10);
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    EXPECT_FALSE(G->DataCallback());
    EXPECT_TRUE(G->AdviseSink());
    EXPECT_FALSE(G->AsyncIO2());
    EXPECT_TRUE(G->AsyncIO());
    Server->Disconnect();
    Control.Reset();
    Connect(SimDA20);
    Control->WithholdInterface(SIM_TARGET_GROUPS, IID_IConnectionPointContainer, TRUE);
    TVexoGroup *H = Server->OPCGroups()->Add("H");
    EXPECT_FALSE(H->DataCallback());
    EXPECT_TRUE(H->AdviseSink());
    // Asynchronous calls go where their answers can arrive: the stream's interface.
    EXPECT_FALSE(H->AsyncIO2());
    EXPECT_TRUE(H->AsyncIO());
}

TEST_F(GroupLifecycle, AGroupOnTheStreamSinkReadsAsynchronouslyThroughIt) {
    // A group whose callback connection was refused still completes asynchronous reads and refreshes.
    Connect(SimDA20);
    Control->WithholdInterface(SIM_TARGET_GROUPS, IID_IConnectionPointContainer, TRUE);
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    TVexoItem *Item = G->OPCItems()->AddItem(GoodId);
    int Delivered = 0;
    Server->OnDatachange = [&](TObject *, TVexoItemList *List) { Delivered += List->Count(); };
    Control->RunScan(0); // the first update; no later scan is due without time passing
    Application->ProcessMessages();
    ASSERT_EQ(Delivered, 1);
    Delivered = 0;
    OleVariant Seven(7);
    Control->SetTagValue(OLESTR("Simulation.Bucket.Int4"), &Seven.Var(), 0xC0);
    EXPECT_TRUE(G->AsyncRead(nullptr));
    Control->RunScan(0);
    Application->ProcessMessages();
    EXPECT_EQ(Delivered, 1);
    EXPECT_EQ(Item->Value().AsInteger(), 7);
    EXPECT_EQ(G->TaskId(), 0u);
    G->Refresh(true);
    Control->RunScan(0);
    Application->ProcessMessages();
    EXPECT_EQ(Delivered, 2);
}

TEST_F(GroupLifecycle, AFailedItemAddAtCreationStillConnectsTheGroupsSink) {
    // When adding the items fails as a whole the group raises but keeps its sink and revised rate,
    // so items added afterwards receive data.
    Connect(SimDA20);
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    G->OPCItems()->AddItem(GoodId);
    G->OPCRemoveGroup();
    G->SetUpdateRate(150);
    FailNext(OLESTR("AddItems"), E_OUTOFMEMORY);
    EXPECT_THROW(G->OPCAddGroup(), Exception);
    EXPECT_TRUE(G->IsOnServer());
    EXPECT_TRUE(G->DataCallback());
    EXPECT_EQ(G->UpdateRate(), 200);
    TVexoItemList All(*G->OPCItems());
    ASSERT_TRUE(G->OPCItems()->OPCAddItems(&All, true));
    int Delivered = 0;
    Server->OnDatachange = [&](TObject *, TVexoItemList *List) { Delivered += List->Count(); };
    Control->RunScan(1000);
    Application->ProcessMessages();
    EXPECT_EQ(Delivered, 1);
}

TEST_F(GroupLifecycle, GroupStateOfALocalGroupGoesThroughTheErrorPath) {
    // GetState of a local group reports "not connected to server" through OnError.
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    std::string Seen;
    Server->OnError = [&](TObject *, const std::string &Msg, bool &Raise) {
        Seen = Msg;
        Raise = false;
    };
    tGroupStateRec State;
    State.Name = "stale";
    G->GetState(State);
    EXPECT_EQ(Seen, "not connected to server");
    EXPECT_EQ(State.Name, "");
}

TEST_F(GroupLifecycle, GroupDestroyedInDesignStateWithItemsOnTheServer) {
    // Items that keep server handles (removal is refused while designing) are
    // destroyed with their group without reaching for the group's collection.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    G->OPCItems()->AddItem(GoodId);
    G->OPCItems()->AddItem(GoodId2);
    ASSERT_NE(G->OPCItems()->GetItem(0)->ServerHandle(), static_cast<OPCHANDLE>(-1));
    Server->SetDesigning(true);
    Server->OPCGroups()->Remove("G");
    EXPECT_EQ(Server->GetGroupCount(), 0);
    EXPECT_EQ(Calls("RemoveGroup"), 1);
    EXPECT_EQ(Calls("RemoveItems"), 0);
    Server->SetDesigning(false);
}

TEST_F(GroupLifecycle, AdviseAnsweredWithAnotherSuccessCodeIsWithdrawn) {
    // A data advise the client does not keep is cancelled, so the server stops
    // calling a sink that no longer belongs to a group.
    Connect(SimDA10);
    Control->FailNextCall(OLESTR("DAdvise"), S_FALSE);
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    EXPECT_TRUE(G->IsOnServer());
    EXPECT_FALSE(G->AdviseSink());
    EXPECT_EQ(Calls("DAdvise"), 1);
    EXPECT_EQ(Calls("DUnadvise"), 1);
}

} // namespace
} // namespace vexo::test
