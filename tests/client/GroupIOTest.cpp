//===- GroupIOTest.cpp - group reads, writes, refresh and cancel ----------===//
//
// Behaviour of the group I/O operations against the simulation servers: what
// each call sends, what it stores into the items, its result, and the
// transaction and task ids of the asynchronous calls.
//
//===----------------------------------------------------------------------===//

#include "DataPathSupport.h"

#include <vexo/platform/ErrorText.h>

namespace vexo::test {
namespace {

class GroupIOTest : public DataPathFixture {};

std::string Text(const TVexoItem *Item) { return VarToAStr(Item->Value()); }

/// The number after "Key=" in Line, or -1.
long long Arg(const std::string &Line, const std::string &Key) {
    const auto At = Line.find(Key + "=");
    if (At == std::string::npos)
        return -1;
    return std::stoll(Line.substr(At + Key.size() + 1));
}

TEST_F(GroupIOTest, LocalGroupOrEmptyListSendsNothingAndReturnsFalse) {
    // Without the group on the server every operation answers false or does
    // nothing; an empty list is refused before anything is sent.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    TVexoItem *A = G->OPCItems()->GetItem(0);
    G->OPCRemoveGroup();
    const TVexoItemValue Before = A->Snapshot();
    const std::uint32_t Counter = TransactionCounter.load();
    EXPECT_FALSE(G->SyncRead(nullptr, true));
    EXPECT_FALSE(G->SyncWrite(nullptr));
    EXPECT_FALSE(G->AsyncRead(nullptr));
    EXPECT_FALSE(G->AsyncWrite(nullptr));
    G->Refresh(true);
    G->SetTaskId(4);
    G->CancelLastAsyncCall();
    EXPECT_EQ(G->TaskId(), 0u);
    EXPECT_EQ(TransactionCounter.load(), Counter);
    EXPECT_EQ(A->Quality(), Before.Quality);
    EXPECT_EQ(A->LastError(), Before.LastError);

    // A one-item write that sends nothing is not a success: it raises, naming the item.
    try {
        A->WriteSync(OleVariant(5));
        FAIL() << "no exception";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(),
                  "cannot write Items:\r\nSimulation.Bucket.Int4-not connected to server\r\n");
    }
    EXPECT_THROW(A->WriteAsync(OleVariant(5)), EOPCException);
    EXPECT_EQ(A->LastError(), Before.LastError);

    G->OPCAddGroup();
    Control->ClearCallLog();
    TVexoItemList Empty;
    EXPECT_FALSE(G->SyncWrite(&Empty));
    EXPECT_FALSE(G->AsyncRead(&Empty));
    EXPECT_EQ(TransactionCounter.load(), Counter);
    EXPECT_TRUE(Log().empty());
}

TEST_F(GroupIOTest, WriteToAGroupWithoutTheWriteInterfaceNamesTheReason) {
    // A group on the server without IOPCSyncIO: the report gives the system's text, not a bare dash.
    Open();
    Control->WithholdInterface(SIM_TARGET_GROUPS, IID_IOPCSyncIO, TRUE);
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    ASSERT_TRUE(G->IsOnServer());
    ASSERT_FALSE(G->SyncIO());
    const std::string Reason = platform::SystemErrorText(E_NOINTERFACE);
    ASSERT_FALSE(Trim(Reason).empty());
    try {
        G->OPCItems()->GetItem(0)->WriteSync(OleVariant(5));
        FAIL() << "no exception";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(),
                  "cannot write Items:\r\nSimulation.Bucket.Int4-" + Reason + "\r\n");
    }
}

TEST_F(GroupIOTest, ItemNotOnServerRaisesBeforeAnythingIsSent) {
    // A list holding an item that is not on the server raises its message
    // with the item id, and the transaction counter does not advance.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    Server->SetBatchMode(true);
    TVexoItem *Local = G->OPCItems()->AddItem("Simulation.Bucket.Real8");
    Server->SetBatchMode(false);
    ASSERT_EQ(Local->ServerHandle(), static_cast<OPCHANDLE>(-1));
    const std::uint32_t Counter = TransactionCounter.load();
    Control->ClearCallLog();
    TVexoItemList List(*G->OPCItems());
    try {
        G->AsyncRead(&List);
        FAIL() << "no exception";
    } catch (const EOPCException &E) {
        EXPECT_EQ(E.Message(), "item Simulation.Bucket.Real8 not exists on OPCServer");
    }
    EXPECT_THROW(G->SyncWrite(nullptr), EOPCException);
    EXPECT_EQ(TransactionCounter.load(), Counter);
    EXPECT_TRUE(Log().empty());
}

TEST_F(GroupIOTest, SyncWriteThenReadRoundTripsAndAClampIsASuccess) {
    // A synchronous write answers true when every item succeeded, a clamped
    // value included (LastError stays 0); reading gives the written values.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.String",
                                   "Simulation.Line 1.Setpoint"});
    TVexoItem *A = G->OPCItems()->GetItem(0);
    TVexoItem *B = G->OPCItems()->GetItem(1);
    TVexoItem *C = G->OPCItems()->GetItem(2);
    A->WriteSync(OleVariant(321));
    B->WriteSync(OleVariant("written"));
    C->SetLastError(E_FAIL);
    TVexoItemList One(C);
    C->WriteSync(OleVariant(1e9)); // outside the clamp range
    EXPECT_EQ(C->LastError(), S_OK);
    ASSERT_TRUE(G->SyncRead(nullptr, false));
    EXPECT_EQ(Text(A), "321");
    EXPECT_EQ(Text(B), "written");
    EXPECT_EQ(A->Quality(), 0xC0);
    EXPECT_NE(A->TimeStamp(), 0);
    const auto Reads = Calls("Read");
    ASSERT_FALSE(Reads.empty());
    EXPECT_EQ(Arg(Reads.back(), "source"), OPC_DS_DEVICE);

    // New values for many items go in one call through their write values.
    A->SetWriteValue(OleVariant(7));
    B->SetWriteValue(OleVariant("batch"));
    TVexoItemList Both(A);
    Both.AddItem(B);
    Control->ClearCallLog();
    ASSERT_TRUE(G->SyncWrite(&Both));
    EXPECT_EQ(Calls("Write").size(), 1u);
    ASSERT_TRUE(G->SyncRead(nullptr, false));
    EXPECT_EQ(Text(A), "7");
    EXPECT_EQ(Text(B), "batch");
}

TEST_F(GroupIOTest, SyncReadWithOneFailedItemFillsTheOthers) {
    // One of three items failing gets quality 0 and its code; the other two
    // are filled; the result is false.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Constant.Int4", "Simulation.Constant.String",
                                   "Simulation.Constant.Real8"});
    HRESULT Errors[3] = {S_OK, OPC_E_BADRIGHTS, S_OK};
    Control->SetNextItemErrors(OLESTR("Read"), 3, Errors);
    EXPECT_FALSE(G->SyncRead(nullptr, true));
    TVexoItem *B = G->OPCItems()->GetItem(1);
    EXPECT_EQ(B->Quality(), 0);
    EXPECT_EQ(B->LastError(), OPC_E_BADRIGHTS);
    for (int i : {0, 2}) {
        TVexoItem *I = G->OPCItems()->GetItem(i);
        EXPECT_EQ(I->LastError(), S_OK);
        EXPECT_EQ(I->Quality(), 0xC0);
        EXPECT_FALSE(Text(I).empty());
    }
    EXPECT_EQ(Arg(Calls("Read").back(), "source"), OPC_DS_CACHE);
}

TEST_F(GroupIOTest, FailedServerCallRaisesAndLeavesItemsAlone) {
    // A failure of the call itself raises and changes no item.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    TVexoItem *A = G->OPCItems()->GetItem(0);
    A->SetLastError(S_FALSE);
    Control->FailNextCall(OLESTR("Write"), E_OUTOFMEMORY);
    EXPECT_ANY_THROW(G->SyncWrite(nullptr));
    EXPECT_EQ(A->LastError(), S_FALSE);
}

TEST_F(GroupIOTest, TransactionIdsAreProcessWideAndRefreshTakesOne) {
    // Two groups' asynchronous calls carry consecutive transaction ids; a
    // refresh between them takes one id of its own.
    Open();
    TVexoGroup *G1 = AddGroup("G1", {"Simulation.Bucket.Int4"});
    TVexoGroup *G2 = AddGroup("G2", {"Simulation.Bucket.Real8"});
    Control->ClearCallLog();
    const std::uint32_t Base = TransactionCounter.load();
    ASSERT_TRUE(G1->AsyncRead(nullptr));
    ASSERT_TRUE(G2->AsyncWrite(nullptr));
    EXPECT_EQ(Arg(Calls("AsyncIO2.Read").at(0), "transid"), Base + 1);
    EXPECT_EQ(Arg(Calls("AsyncIO2.Write").at(0), "transid"), Base + 2);
    EXPECT_NE(G1->TaskId(), 0u); // the server's cancel id

    ASSERT_TRUE(G1->AsyncRead(nullptr));
    G1->Refresh(true);
    ASSERT_TRUE(G2->AsyncRead(nullptr));
    const auto Reads = Calls("AsyncIO2.Read");
    EXPECT_EQ(Arg(Reads.at(1), "transid"), Base + 3);
    EXPECT_EQ(Arg(Calls("Refresh2").at(0), "transid"), Base + 4);
    EXPECT_EQ(Arg(Calls("Refresh2").at(0), "source"), OPC_DS_CACHE);
    EXPECT_EQ(Arg(Reads.at(2), "transid"), Base + 5);
    Scan();
}

TEST_F(GroupIOTest, AsyncReadCompletionArrivesAsDataChangeAndCancelThenSendsNothing) {
    // The read completion is delivered as a data change and clears TaskId, so
    // a cancel afterwards sends nothing.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.Real8"});
    Scan();
    Events.clear();
    ASSERT_TRUE(G->AsyncRead(nullptr));
    ASSERT_NE(G->TaskId(), 0u);
    Scan();
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(Events[0].What, SeenEvent::DataChange);
    EXPECT_EQ(Events[0].Items.size(), 2u);
    EXPECT_EQ(G->TaskId(), 0u);
    Control->ClearCallLog();
    G->CancelLastAsyncCall();
    EXPECT_TRUE(Calls("Cancel2").empty());
}

TEST_F(GroupIOTest, CompletionIsRecognisedByTransactionOrCancelId) {
    // With the server's own cancel ids in TaskId, a completion carrying the
    // transaction id or the cancel id ends the call; before it, a cancel sends
    // the cancel id and clears TaskId.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    Scan();
    Control->ClearCallLog();
    ASSERT_TRUE(G->AsyncRead(nullptr));
    const std::uint32_t CancelId = G->TaskId();
    const long long TransId = Arg(Calls("AsyncIO2.Read").at(0), "transid");
    ASSERT_NE(CancelId, 0u);
    ASSERT_NE(CancelId, TransId);
    G->CancelLastAsyncCall();
    const auto Cancels = Calls("Cancel2");
    ASSERT_EQ(Cancels.size(), 1u);
    EXPECT_EQ(Arg(Cancels[0], "cancelid"), CancelId);
    EXPECT_EQ(G->TaskId(), 0u);
    Scan();

    ASSERT_TRUE(G->AsyncRead(nullptr));
    ASSERT_NE(G->TaskId(), 0u);
    Scan(); // the completion carries the transaction id
    EXPECT_EQ(G->TaskId(), 0u);
    Control->ClearCallLog();
    G->CancelLastAsyncCall();
    EXPECT_TRUE(Calls("Cancel2").empty());

    // Some servers put the cancel id into the completion instead.
    ASSERT_TRUE(G->AsyncRead(nullptr));
    const std::uint32_t Pending = G->TaskId();
    G->DataCallback()->OnCancelComplete(Pending, static_cast<OPCHANDLE>(G->ID()));
    EXPECT_EQ(G->TaskId(), 0u);
    Scan();

    // Out of order: the earlier call's completion arriving late leaves the
    // last call outstanding; completions delivered last call first end both.
    Control->ClearCallLog();
    ASSERT_TRUE(G->AsyncRead(nullptr));
    const long long First = Arg(Calls("AsyncIO2.Read").at(0), "transid");
    ASSERT_TRUE(G->AsyncRead(nullptr));
    const std::uint32_t Last = G->TaskId();
    G->DataCallback()->OnReadComplete(static_cast<DWORD>(First), static_cast<OPCHANDLE>(G->ID()),
                                      S_OK, S_OK, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(G->TaskId(), Last);
    Scan();
    EXPECT_EQ(G->TaskId(), 0u);
    ASSERT_EQ(Control->SetCompletionMode(SIM_COMPLETE_REVERSED), S_OK);
    Events.clear();
    ASSERT_TRUE(G->AsyncRead(nullptr));
    ASSERT_TRUE(G->AsyncRead(nullptr));
    Scan();
    EXPECT_EQ(G->TaskId(), 0u);
    EXPECT_EQ(Events.size(), 2u);
}

TEST_F(GroupIOTest, RefusedCancelRaisesAndStillClearsTaskId) {
    // A cancel the server refuses raises, and TaskId is 0 afterwards anyway.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    G->SetTaskId(999);
    Control->FailNextCall(OLESTR("Cancel2"), E_FAIL);
    EXPECT_ANY_THROW(G->CancelLastAsyncCall());
    EXPECT_EQ(G->TaskId(), 0u);
}

TEST_F(GroupIOTest, AsyncWriteWithOneFailedItemPostsAWriteError) {
    // An asynchronous write whose completion fails one item posts a write
    // error listing that item; a clean one posts an empty write complete.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.Real8"});
    Scan();
    Events.clear();
    TVexoItem *A = G->OPCItems()->GetItem(0);
    TVexoItem *B = G->OPCItems()->GetItem(1);
    A->WriteSync(OleVariant(1)); // gives each item a write value
    B->WriteSync(OleVariant(2.5));
    // Inactive, so that no data change of the written values overwrites the
    // items before the write events are looked at.
    G->SetIsActive(false);
    HRESULT Errors[2] = {S_OK, OPC_E_RANGE};
    Control->SetNextItemErrors(OLESTR("OnWriteComplete"), 2, Errors);
    ASSERT_TRUE(G->AsyncWrite(nullptr));
    Scan();
    const int Err = WaitEvent(SeenEvent::WriteError);
    ASSERT_GE(Err, 0);
    EXPECT_EQ(Events[Err].Items, (std::vector<TVexoItem *>{B}));
    EXPECT_EQ(Events[Err].Values[0].LastError, OPC_E_RANGE);
    EXPECT_EQ(Events[Err].Values[0].Quality, 0);
    EXPECT_EQ(A->LastError(), S_OK);

    Events.clear();
    ASSERT_TRUE(G->AsyncWrite(nullptr));
    Scan();
    const int Done = WaitEvent(SeenEvent::WriteComplete);
    ASSERT_GE(Done, 0);
    EXPECT_TRUE(Events[Done].Items.empty());
    for (const SeenEvent &E : Events)
        EXPECT_NE(E.What, SeenEvent::WriteError);
}

TEST_F(GroupIOTest, DA10AsyncCallsUseTheAdviseConnectionAndDeviceReads) {
    // On a DA 1.0 server the asynchronous read asks for device data with the
    // advise sink's connection; results arrive through the stream and TaskId
    // holds the server's transaction id until then.
    Open(SimDA10ProgID);
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.String"});
    ASSERT_TRUE(G->AdviseSink());
    Scan();
    Events.clear();
    const std::uint32_t Counter = TransactionCounter.load();
    Control->ClearCallLog();
    ASSERT_TRUE(G->AsyncRead(nullptr));
    EXPECT_EQ(TransactionCounter.load(), Counter + 1); // advanced, though not sent
    const auto Reads = Calls("AsyncIO.Read");
    ASSERT_EQ(Reads.size(), 1u);
    EXPECT_EQ(Arg(Reads[0], "connection"), G->AdviseSink()->Connection());
    EXPECT_EQ(Arg(Reads[0], "source"), OPC_DS_DEVICE);
    EXPECT_NE(G->TaskId(), 0u);
    Scan();
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(Events[0].Items.size(), 2u);
    EXPECT_EQ(G->TaskId(), 0u);

    // A read still queued is cancelled by the server's transaction id.
    ASSERT_TRUE(G->AsyncRead(nullptr));
    const std::uint32_t Queued = G->TaskId();
    ASSERT_NE(Queued, 0u);
    G->CancelLastAsyncCall();
    EXPECT_EQ(Arg(Calls("AsyncIO.Cancel").at(0), "transid"), Queued);
    EXPECT_EQ(G->TaskId(), 0u);
    Scan();
    EXPECT_EQ(Events.size(), 1u); // the cancelled read delivered nothing

    G->Refresh(false);
    const auto Refreshes = Calls("AsyncIO.Refresh");
    ASSERT_EQ(Refreshes.size(), 1u);
    EXPECT_EQ(Arg(Refreshes[0], "source"), OPC_DS_DEVICE);
    Scan();
    ASSERT_TRUE(WaitEvents(2));

    // Writes name the write-complete advise, and their outcome comes back as an event.
    G->OPCItems()->GetItem(0)->WriteAsync(OleVariant(17));
    EXPECT_EQ(Arg(Calls("AsyncIO.Write").at(0), "connection"),
              G->AdviseSink()->WriteConnection());
    EXPECT_NE(G->AdviseSink()->WriteConnection(), G->AdviseSink()->Connection());
    Scan();
    EXPECT_GE(WaitEvent(SeenEvent::WriteComplete), 0);
    EXPECT_EQ(G->TaskId(), 0u);
    ASSERT_TRUE(G->SyncRead(nullptr, false));
    EXPECT_EQ(Text(G->OPCItems()->GetItem(0)), "17");
}

} // namespace
} // namespace vexo::test
