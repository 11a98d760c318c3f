//===- ItemBatchTest.cpp - batch item operations and their reports -------===//
//
// Behaviour of the batch operations of TVexoItems and of TVexoItemList's
// report: the design state, the state check, per-item results, one server call
// per operation and the release of every array on every path.
//
//===----------------------------------------------------------------------===//
#include "GroupTestSupport.h"

#include <functional>
#include <string_view>

namespace vexo::test {
namespace {

using ItemBatch = GroupFixture;

/// A connected group in BatchMode holding Count local items (Ids cycle).
TVexoGroup *LocalItems(TVexoServer &Server, int Count, const std::vector<std::string> &Ids) {
    TVexoGroup *G = Server.OPCGroups()->Add("G");
    Server.SetBatchMode(true);
    for (int I = 0; I < Count; ++I)
        G->OPCItems()->AddItem(Ids[static_cast<std::size_t>(I) % Ids.size()]);
    return G;
}

TEST_F(ItemBatch, DesignStateOnlyValidates) {
    // While designing, adds are refused without a call and validation runs as one call.
    Connect();
    TVexoGroup *G = LocalItems(*Server, 2, {GoodId, BadId});
    Server->SetDesigning(true);
    TVexoItemList List(*G->OPCItems());
    Control->ClearCallLog();
    EXPECT_FALSE(G->OPCItems()->OPCAddItems(&List, true));
    EXPECT_FALSE(G->OPCItems()->OPCRemoveItems(&List));
    EXPECT_FALSE(G->OPCItems()->OPCActiveItems(&List, false));
    EXPECT_FALSE(G->OPCItems()->OPCSetDataTypes(&List));
    EXPECT_TRUE(SimCallLog(Control.Get()).empty());
    EXPECT_FALSE(G->OPCItems()->OPCValidateItems(&List));
    EXPECT_EQ(Calls("ValidateItems"), 1);
    TVexoItem *Good = List.GetItem(0);
    EXPECT_EQ(Good->CanonicalDatatype(), VT_I4);
    EXPECT_NE(Good->AccessRights(), 0u);
    EXPECT_EQ(Good->ServerHandle(), static_cast<OPCHANDLE>(-1));
    EXPECT_EQ(List.GetItem(1)->LastError(), OPC_E_UNKNOWNITEMID);
    Server->SetDesigning(false);
}

TEST_F(ItemBatch, DesignStateGroupCreationValidatesAndShowsFailures) {
    // Creating a group while designing validates its items in one call and shows the failed ones.
    Server->SetDesigning(true);
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    G->OPCItems()->AddItem(GoodId);
    G->OPCItems()->AddItem(BadId);
    Server->Connect(SimDA20, "");
    Control = Server->GetOPCServer().As<IVexoSimControl>();
    EXPECT_EQ(Calls("ValidateItems"), 1);
    EXPECT_EQ(Calls("AddItems"), 0);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], std::string("cannot add Items:\r\n") + BadId + "-" +
                               GetOPCErrorMessage(OPC_E_UNKNOWNITEMID) + "\r\n");
    EXPECT_EQ(G->OPCItems()->GetItem(0)->ServerHandle(), static_cast<OPCHANDLE>(-1));
    Server->SetDesigning(false);
}

TEST_F(ItemBatch, WrongStateIsRefusedBeforeAnythingIsSent) {
    // A list mixing local items and one on the server names the offender and changes nothing.
    Connect();
    TVexoGroup *G = LocalItems(*Server, 4, {GoodId});
    TVexoItems &Items = *G->OPCItems();
    TVexoItemList Fourth(Items.GetItem(3));
    ASSERT_TRUE(Items.OPCAddItems(&Fourth, true));
    TVexoItemList All(Items);
    Control->ClearCallLog();
    EXPECT_EQ(OPCErrorOf([&] { Items.OPCAddItems(&All, true); }),
              std::string("item ") + GoodId + " already exists on OPCServer");
    EXPECT_EQ(OPCErrorOf([&] { Items.OPCRemoveItems(&All); }),
              std::string("item ") + GoodId + " not exists on OPCServer");
    EXPECT_EQ(OPCErrorOf([&] { Items.OPCActiveItems(&All, false); }),
              std::string("item ") + GoodId + " not exists on OPCServer");
    EXPECT_EQ(OPCErrorOf([&] { Items.OPCSetDataTypes(&All); }),
              std::string("item ") + GoodId + " not exists on OPCServer");
    EXPECT_TRUE(SimCallLog(Control.Get()).empty());
    for (int I = 0; I < 3; ++I)
        EXPECT_EQ(Items.GetItem(I)->ServerHandle(), static_cast<OPCHANDLE>(-1));
}

TEST_F(ItemBatch, MixedResultsAreStoredPerItemWithoutRaising) {
    // S_FALSE for the call: the good item is added, the bad one keeps its code, false is returned.
    Connect();
    TVexoGroup *G = LocalItems(*Server, 2, {GoodId, BadId});
    TVexoItemList List(*G->OPCItems());
    bool Result = true;
    EXPECT_NO_THROW(Result = G->OPCItems()->OPCAddItems(&List, true));
    EXPECT_FALSE(Result);
    EXPECT_NE(List.GetItem(0)->ServerHandle(), static_cast<OPCHANDLE>(-1));
    EXPECT_EQ(List.GetItem(0)->LastError(), 0);
    EXPECT_EQ(List.GetItem(1)->ServerHandle(), static_cast<OPCHANDLE>(-1));
    EXPECT_EQ(List.GetItem(1)->LastError(), OPC_E_UNKNOWNITEMID);
    // An informational per-item code counts as success.
    TVexoItemList Second(List.GetItem(1));
    List.GetItem(1)->SetItemID(GoodId2);
    ItemErrors(OLESTR("AddItems"), {OPC_S_UNSUPPORTEDRATE});
    EXPECT_TRUE(G->OPCItems()->OPCAddItems(&Second, true));
    EXPECT_EQ(List.GetItem(1)->LastError(), 0);
}

TEST_F(ItemBatch, FailedRemovalWithoutErrorArrayStillMakesItemsLocal) {
    // RemoveItems answered E_FAIL without an error array: every item is local with E_FAIL; no raise.
    Connect();
    TVexoGroup *G = LocalItems(*Server, 3, {GoodId, GoodId2});
    TVexoItemList List(*G->OPCItems());
    ASSERT_TRUE(G->OPCItems()->OPCAddItems(&List, true));
    FailNext(OLESTR("RemoveItems"), E_FAIL);
    bool Result = true;
    EXPECT_NO_THROW(Result = G->OPCItems()->OPCRemoveItems(&List));
    EXPECT_FALSE(Result);
    for (int I = 0; I < 3; ++I) {
        EXPECT_EQ(List.GetItem(I)->ServerHandle(), static_cast<OPCHANDLE>(-1));
        EXPECT_EQ(List.GetItem(I)->LastError(), E_FAIL);
    }
}

TEST_F(ItemBatch, SFalseWithoutErrorArrayCountsEveryItemAsFailed) {
    // S_FALSE says some item failed; without the array nobody knows which, so
    // no item takes the new state and the operation answers false.
    Connect();
    TVexoGroup *G = LocalItems(*Server, 2, {GoodId, GoodId2});
    TVexoItemList List(*G->OPCItems());
    ASSERT_TRUE(G->OPCItems()->OPCAddItems(&List, true));
    FailNext(OLESTR("SetActiveState"), S_FALSE);
    EXPECT_FALSE(G->OPCItems()->OPCActiveItems(&List, false));
    for (int I = 0; I < 2; ++I) {
        EXPECT_TRUE(List.GetItem(I)->IsActive());
        EXPECT_EQ(List.GetItem(I)->LastError(), E_FAIL);
    }
    // Removal agrees: the items are local afterwards, but none passes for removed cleanly.
    FailNext(OLESTR("RemoveItems"), S_FALSE);
    EXPECT_FALSE(G->OPCItems()->OPCRemoveItems(&List));
    for (int I = 0; I < 2; ++I) {
        EXPECT_EQ(List.GetItem(I)->ServerHandle(), static_cast<OPCHANDLE>(-1));
        EXPECT_EQ(List.GetItem(I)->LastError(), E_FAIL);
    }
}

TEST_F(ItemBatch, ActivationStoresTheStateOnlyForSucceedingItems) {
    // OPCActiveItems(false): succeeding items become inactive, failing ones keep their flag.
    Connect();
    TVexoGroup *G = LocalItems(*Server, 2, {GoodId, GoodId2});
    TVexoItemList List(*G->OPCItems());
    ASSERT_TRUE(G->OPCItems()->OPCAddItems(&List, true));
    ItemErrors(OLESTR("SetActiveState"), {S_OK, OPC_E_INVALIDHANDLE});
    EXPECT_FALSE(G->OPCItems()->OPCActiveItems(&List, false));
    EXPECT_FALSE(List.GetItem(0)->IsActive());
    EXPECT_TRUE(List.GetItem(1)->IsActive());
    EXPECT_EQ(List.GetItem(1)->LastError(), OPC_E_INVALIDHANDLE);
}

TEST_F(ItemBatch, EveryOperationIsOneCallAndReleasesItsArraysOnEveryPath) {
    // Each batch sends one call for any number of items, and a refused call leaks no task memory.
    Connect();
    TVexoGroup *G = LocalItems(*Server, 300, {GoodId, GoodId2});
    TVexoItems &Items = *G->OPCItems();
    TVexoItemList List(Items);
    const long long Start = platform::TaskMemLiveBlocks();
    struct Case {
        const WCHAR *Method;
        std::function<void()> Run;
    };
    const Case Cases[] = {
        {OLESTR("AddItems"), [&] { Items.OPCAddItems(&List, true); }},
        {OLESTR("ValidateItems"), [&] { Items.OPCValidateItems(&List); }},
        {OLESTR("SetActiveState"), [&] { Items.OPCActiveItems(&List, false); }},
        {OLESTR("SetDatatypes"), [&] { Items.OPCSetDataTypes(&List); }},
    };
    for (const Case &C : Cases) {
        if (vexo::platform::WideStringView(C.Method) == OLESTR("SetActiveState")) {
            ASSERT_TRUE(Items.OPCAddItems(&List, true));
        }
        FailNext(C.Method, E_OUTOFMEMORY);
        EXPECT_THROW(C.Run(), Exception);
        EXPECT_EQ(platform::TaskMemLiveBlocks(), Start);
    }
    EXPECT_TRUE(List.GetItem(0)->IsActive()); // the refused call changed nothing
    Control->ClearCallLog();
    EXPECT_TRUE(Items.OPCActiveItems(&List, false));
    EXPECT_TRUE(Items.OPCSetDataTypes(&List));
    EXPECT_TRUE(Items.OPCRemoveItems(&List));
    EXPECT_TRUE(Items.OPCAddItems(&List, true));
    EXPECT_EQ(SimCallLog(Control.Get()).size(), 4u);
    EXPECT_EQ(platform::TaskMemLiveBlocks(), Start);
}

TEST_F(ItemBatch, EmptyListsAndGroupsOffTheServerSendNothing) {
    // Empty lists return false without a call; a group not on the server changes no item.
    Connect();
    TVexoGroup *G = LocalItems(*Server, 1, {GoodId});
    TVexoItemList Empty;
    Control->ClearCallLog();
    EXPECT_FALSE(G->OPCItems()->OPCAddItems(&Empty, true));
    EXPECT_FALSE(G->OPCItems()->OPCRemoveItems(&Empty));
    EXPECT_FALSE(G->OPCItems()->OPCActiveItems(&Empty, true));
    EXPECT_FALSE(G->OPCItems()->OPCSetDataTypes(&Empty));
    EXPECT_FALSE(G->OPCItems()->OPCValidateItems(&Empty));
    Empty.CheckOPCErrors("H", true);
    EXPECT_TRUE(SimCallLog(Control.Get()).empty());
    G->OPCRemoveGroup();
    TVexoItemList List(*G->OPCItems());
    List.GetItem(0)->SetLastError(7);
    EXPECT_FALSE(G->OPCItems()->OPCAddItems(&List, true));
    EXPECT_EQ(List.GetItem(0)->LastError(), 7);
    EXPECT_EQ(Calls("AddItems"), 0);
}

TEST_F(ItemBatch, ReportListsTheFirst26FailuresOnly) {
    // The report shows the header and at most 26 lines; a code without text ends at the dash.
    TVexoItems &Items = *Server->OPCGroups()->Add("G")->OPCItems();
    TVexoItemList List;
    for (int I = 0; I < 30; ++I) {
        TVexoItem *Item = Items.AddItem("I" + std::to_string(I));
        Item->SetLastError(I % 2 ? E_FAIL : OPC_E_BADRIGHTS);
        List.AddItem(Item);
    }
    const std::string Text = OPCErrorOf([&] { List.CheckOPCErrors("H", true); });
    int Lines = 0;
    for (std::size_t P = 0; (P = Text.find("\r\n", P)) != std::string::npos; P += 2)
        ++Lines;
    EXPECT_EQ(Lines, 27);
    EXPECT_EQ(Text.rfind("H\r\nI0-" + GetOPCErrorMessage(OPC_E_BADRIGHTS) + "\r\nI1-\r\n", 0),
              0u);
    EXPECT_NE(Text.find("I25-"), std::string::npos);
    EXPECT_EQ(Text.find("I26-"), std::string::npos);
    List.CheckOPCErrors("H", false);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], Text);
}

TEST_F(ItemBatch, AddAllItemsWithEverythingOnTheServerDoesNothing) {
    // OPCAddAllItems on a collection whose items are all on the server sends and shows nothing.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    G->OPCItems()->AddItem(GoodId);
    Control->ClearCallLog();
    G->OPCItems()->OPCAddAllItems();
    EXPECT_TRUE(SimCallLog(Control.Get()).empty());
    EXPECT_TRUE(Messages.empty());
}

} // namespace
} // namespace vexo::test
