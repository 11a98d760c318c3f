//===- ItemModelTest.cpp - single items, their commands and handles ------===//
//
// Behaviour of TVexoItem and TVexoItems: defaults, the single-item command
// path and its report, the setters' rules, destruction, texts, the guarded
// fields and the client-handle table.
//
//===----------------------------------------------------------------------===//
#include "GroupTestSupport.h"

namespace vexo::test {
namespace {

using ItemModel = GroupFixture;

TEST_F(ItemModel, NewItemTakesTheGroupsItemDefaults) {
    // A new item copies IsActive, AccessPath and RequestDatatype from DefaultItem.
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    G->DefaultItem()->IsActive = false;
    G->DefaultItem()->AccessPath = "Path A";
    G->DefaultItem()->RequestDataType = vtR4;
    TVexoItem *Item = G->OPCItems()->AddItem("X");
    EXPECT_FALSE(Item->IsActive());
    EXPECT_EQ(Item->AccessPath(), "Path A");
    EXPECT_EQ(Item->RequestDatatype(), vtR4);
    EXPECT_EQ(Item->ServerHandle(), static_cast<OPCHANDLE>(-1));
    EXPECT_EQ(Item->Quality(), 0);
    EXPECT_EQ(Item->Value().VarType(), VT_EMPTY);
    EXPECT_EQ(Item->Group(), G);
}

TEST_F(ItemModel, BatchModeKeepsChangesLocalButStillGuardsTheId) {
    // In BatchMode adding, changing and freeing items sends nothing; ItemID stays fixed on the server.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    TVexoItem *OnServer = G->OPCItems()->AddItem(GoodId);
    ASSERT_NE(OnServer->ServerHandle(), static_cast<OPCHANDLE>(-1));
    Server->SetBatchMode(true);
    Control->ClearCallLog();
    TVexoItem *Local = G->OPCItems()->AddItem(GoodId2);
    Local->SetIsActive(false);
    Local->SetRequestDatatype(vtBSTR);
    OnServer->SetIsActive(false);
    EXPECT_EQ(OPCErrorOf([&] { OnServer->SetItemID(GoodId); }),
              "not possible if connected to OPC Server");
    EXPECT_EQ(OPCErrorOf([&] { OnServer->SetAccessPath(""); }),
              "not possible if connected to OPC Server");
    EXPECT_EQ(OnServer->ItemID(), GoodId);
    delete OnServer; // stays on the server: nothing is sent in BatchMode
    EXPECT_TRUE(SimCallLog(Control.Get()).empty());
    EXPECT_EQ(Local->ServerHandle(), static_cast<OPCHANDLE>(-1));
}

TEST_F(ItemModel, CommandsReportTheItemsErrorAndKeepTheNewValue) {
    // A refused command raises the "OPC Command:" report; the stored value stays.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    TVexoItem *Bad = nullptr;
    EXPECT_EQ(OPCErrorOf([&] { Bad = G->OPCItems()->AddItem(BadId); }),
              std::string("OPC Command:\r\n") + BadId + "-" +
                  GetOPCErrorMessage(OPC_E_UNKNOWNITEMID) + "\r\n");
    ASSERT_EQ(G->OPCItems()->Count(), 1); // the item stays, local
    Bad = G->OPCItems()->GetItem(0);
    EXPECT_EQ(Bad->ServerHandle(), static_cast<OPCHANDLE>(-1));
    EXPECT_EQ(Bad->LastError(), OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(Bad->GetLastErrorStr(), GetOPCErrorMessage(OPC_E_UNKNOWNITEMID));
    // Activating a local item while connected names it; the add's old error is not reported again.
    EXPECT_EQ(OPCErrorOf([&] { Bad->SetIsActive(false); }),
              std::string("item ") + BadId + " not exists on OPCServer");
    EXPECT_FALSE(Bad->IsActive());
    Control->ClearCallLog();
    Bad->SetIsActive(false); // unchanged: nothing sent, nothing raised
    EXPECT_TRUE(SimCallLog(Control.Get()).empty());
    EXPECT_EQ(OPCErrorOf([&] { Bad->OPCCommand(9); }), "unknown error : 9");
}

TEST_F(ItemModel, CommandsChangeItemsOnTheServer) {
    // Commands 2 and 4 reach the server and store what it answered.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    TVexoItem *Item = G->OPCItems()->AddItem(GoodId);
    EXPECT_EQ(Item->CanonicalDatatype(), VT_I4);
    EXPECT_EQ(Item->AccessRights() & 3u, 3u);
    Control->ClearCallLog();
    Item->SetIsActive(false);
    Item->SetRequestDatatype(vtR8);
    EXPECT_EQ(Calls("SetActiveState"), 1);
    EXPECT_EQ(Calls("SetDatatypes"), 1);
    EXPECT_EQ(Item->LastError(), 0);
    ItemErrors(OLESTR("SetDatatypes"), {OPC_E_BADTYPE});
    EXPECT_THROW(Item->SetRequestDatatype(vtDISPATCH), EOPCException);
    EXPECT_EQ(Item->RequestDatatype(), vtDISPATCH);
    EXPECT_EQ(Item->LastError(), OPC_E_BADTYPE);
}

TEST_F(ItemModel, FailedRemovalDuringDestructionReachesTheHandler) {
    // A removal failure while an item is destroyed goes to the application's handler; destruction completes.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    TVexoItem *Item = G->OPCItems()->AddItem(GoodId);
    FailNext(OLESTR("RemoveItems"), E_FAIL);
    EXPECT_NO_THROW(delete Item);
    EXPECT_EQ(G->OPCItems()->Count(), 0);
    ASSERT_EQ(Handled.size(), 1u);
    EXPECT_EQ(Handled[0], std::string("OPC Command:\r\n") + GoodId + "-\r\n");
}

TEST_F(ItemModel, TextsOfAnItem) {
    // Display name, error text and quality test follow the item's fields.
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    TVexoItem *Item = G->OPCItems()->AddItem("   ");
    EXPECT_EQ(Item->GetDisplayName(), "TVexoItem");
    Item->SetItemID(" x ");
    EXPECT_EQ(Item->GetDisplayName(), " x ");
    EXPECT_EQ(Item->GetLastErrorStr(), "");
    Item->SetLastError(E_FAIL);
    EXPECT_EQ(Item->GetLastErrorStr(), "unknown error : -2147467259");
    for (int Q : {0xC0, 0xD8, 0x1C0}) {
        Item->SetQuality(Q);
        EXPECT_TRUE(Item->IsGoodQuality()) << Q;
    }
    for (int Q : {0x40, 0x80, 0}) {
        Item->SetQuality(Q);
        EXPECT_FALSE(Item->IsGoodQuality()) << Q;
    }
    OleVariant V(42);
    Item->StoreValue(V.Var(), 0xC0, 1.5, S_OK);
    EXPECT_EQ(Item->ValueStr(), "42");
    const TVexoItemValue S = Item->Snapshot();
    EXPECT_EQ(S.Quality, 0xC0);
    EXPECT_EQ(S.TimeStamp, 1.5);
    OleVariant Text("abc");
    Item->StoreValueKeepError(Text.Var(), 0x40, 9.0, false);
    EXPECT_EQ(Item->ValueStr(), "abc");
    EXPECT_EQ(Item->TimeStamp(), 1.5);
    Item->SetFailed(E_FAIL);
    EXPECT_EQ(Item->Quality(), 0);
    EXPECT_EQ(Item->LastError(), E_FAIL);
}

TEST_F(ItemModel, StoredValuesReplaceEachOtherWithoutLeaks) {
    // Plain values and values that own memory replace each other in any order; each read sees the last one and nothing leaks.
    TVexoItem *Item = Server->OPCGroups()->Add("G")->OPCItems()->AddItem("A");
    const long long Strings = platform::BStrLiveCount();
    Item->StoreValue(OleVariant("first").Var(), 0xC0, 1.0, S_OK);
    EXPECT_EQ(platform::BStrLiveCount(), Strings + 1);
    const OleVariant Held = Item->Value(); // a copy of its own
    Item->StoreValue(OleVariant(7).Var(), 0x40, 2.0, E_FAIL);
    EXPECT_EQ(Item->ValueStr(), "7");
    EXPECT_EQ(VarToStr(Held), "first");
    VARIANT Dec;
    platform::VariantInit(&Dec);
    Dec.decVal.scale = 1;
    Dec.decVal.Lo64 = 12345;
    Dec.vt = VT_DECIMAL; // after the fields: they share the VARIANT's first bytes
    Item->StoreValue(Dec, 0xC0, 3.0, S_OK);
    const TVexoItemValue S = Item->Snapshot();
    EXPECT_EQ(S.Value.VarType(), VT_DECIMAL);
    EXPECT_EQ(S.Value.Var().decVal.Lo64, 12345u);
    EXPECT_EQ(S.Value.Var().decVal.scale, 1);
    EXPECT_EQ(S.Quality, 0xC0);
    EXPECT_EQ(S.TimeStamp, 3.0);
    EXPECT_EQ(S.LastError, S_OK);
    Item->StoreValue(OleVariant("second").Var(), 0xC0, 4.0, S_OK);
    Item->StoreValue(OleVariant("third").Var(), 0xC0, 5.0, S_OK);
    EXPECT_EQ(Item->ValueStr(), "third");
    EXPECT_EQ(platform::BStrLiveCount(), Strings + 2); // "third" and the held copy
    delete Item;
}

TEST_F(ItemModel, ClientHandlesReachLiveItemsOnlyAndAreNeverReusedAtOnce) {
    // A handle resolves to its item; after the item is freed it resolves to nothing, even when the slot is reused.
    TVexoItems &Items = *Server->OPCGroups()->Add("G")->OPCItems();
    TVexoItem *A = Items.AddItem("A");
    TVexoItem *B = Items.AddItem("B");
    const OPCHANDLE HA = A->GetClientHandle();
    EXPECT_NE(HA, 0u);
    EXPECT_NE(HA, B->GetClientHandle());
    EXPECT_EQ(Items.ItemFromHandle(HA), A);
    delete A;
    EXPECT_EQ(Items.ItemFromHandle(HA), nullptr);
    TVexoItem *C = Items.AddItem("C");
    EXPECT_NE(C->GetClientHandle(), HA);
    EXPECT_EQ(Items.ItemFromHandle(C->GetClientHandle()), C);
    EXPECT_EQ(Items.ItemFromHandle(HA), nullptr);
    EXPECT_EQ(Items.ItemFromHandle(static_cast<OPCHANDLE>(-1)), nullptr);
    EXPECT_EQ(Items.GetOPCItem(static_cast<OPCHANDLE>(-1)), B);
}

TEST_F(ItemModel, CallbackListsDropEntriesOfDestroyedItems) {
    // An entry whose item was destroyed after the list was built is dropped before delivery.
    TVexoItems &Items = *Server->OPCGroups()->Add("G")->OPCItems();
    TVexoItem *A = Items.AddItem("A");
    TVexoItem *B = Items.AddItem("B");
    TVexoItem *C = Items.AddItem("C");
    TVexoItemList List;
    {
        auto Lock = Items.LockForCallback();
        for (TVexoItem *Item : {A, B, C})
            List.AddFromCallback(Items.ItemFromHandle(Item->GetClientHandle()),
                                 Item->GetClientHandle());
    }
    delete B;
    Items.AddItem("D"); // may take B's slot: its handle must still not match
    List.DropStaleEntries(Items);
    ASSERT_EQ(List.Count(), 2);
    EXPECT_EQ(List.GetItem(0), A);
    EXPECT_EQ(List.GetItem(1), C);
}

TEST_F(ItemModel, RemoveAllOfLocalItemsSendsNothing) {
    // RemoveAll on a group whose items are all local makes no server call and empties the collection.
    Connect();
    TVexoGroup *G = Server->OPCGroups()->Add("G");
    Server->SetBatchMode(true);
    G->OPCItems()->AddItem(GoodId);
    G->OPCItems()->AddItem(GoodId2);
    Server->SetBatchMode(false);
    Control->ClearCallLog();
    G->OPCItems()->RemoveAll();
    EXPECT_EQ(G->OPCItems()->Count(), 0);
    EXPECT_TRUE(SimCallLog(Control.Get()).empty());
}

} // namespace
} // namespace vexo::test
