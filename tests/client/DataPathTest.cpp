//===- DataPathTest.cpp - the data callback and the DA 1.0 advise sink ----===//
//
// Behaviour of the two data sinks: what they store into items, what they post
// and when they stay silent. Exact-argument cases call a group's sink
// directly; end-to-end cases let the simulation server deliver.
//
//===----------------------------------------------------------------------===//

#include "DataPathSupport.h"

namespace vexo::test {
namespace {

class DataPathTest : public DataPathFixture {};

std::string Text(const TVexoItem *Item) { return VarToAStr(Item->Value()); }

// --- DA 2.0 callback, called by hand ------------------------------------------

TEST_F(DataPathTest, DataChangeOfThreeItemsIsStoredAndPostedInServerOrder) {
    // One data change stores value, quality, time and code in each item and
    // posts one list for the group in the order the server gave.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.Real8",
                                   "Simulation.Bucket.String"});
    ASSERT_TRUE(G->DataCallback());
    Application->ProcessMessages();
    Events.clear();
    TVexoItem *A = G->OPCItems()->GetItem(0);
    TVexoItem *B = G->OPCItems()->GetItem(1);
    TVexoItem *C = G->OPCItems()->GetItem(2);

    OPCHANDLE Handles[3] = {C->GetClientHandle(), A->GetClientHandle(), B->GetClientHandle()};
    OleVariant Values[3] = {OleVariant("text"), OleVariant(42), OleVariant(2.5)};
    VARIANT Raw[3] = {Values[0].Var(), Values[1].Var(), Values[2].Var()};
    WORD Qualities[3] = {0xC0, 0xD8, 0x40};
    FILETIME Times[3] = {RecentFileTime(2), RecentFileTime(4), RecentFileTime(6)};
    HRESULT Errors[3] = {S_OK, S_FALSE, OPC_E_BADTYPE};
    EXPECT_EQ(G->DataCallback()->OnDataChange(0, G->ID(), S_OK, S_OK, 3, Handles, Raw, Qualities,
                                              Times, Errors),
              S_OK);
    ASSERT_TRUE(WaitEvents(1));
    ASSERT_EQ(Events.size(), 1u);
    EXPECT_EQ(Events[0].What, SeenEvent::DataChange);
    EXPECT_EQ(Events[0].Items, (std::vector<TVexoItem *>{C, A, B}));
    EXPECT_EQ(Text(C), "text");
    EXPECT_EQ(Text(A), "42");
    EXPECT_EQ(Text(B), "2.5");
    EXPECT_EQ(A->Quality(), 0xD8); // the whole word on this path
    EXPECT_EQ(B->Quality(), 0x40);
    EXPECT_EQ(C->TimeStamp(), FileTimeToDateTime(Times[0]));
    EXPECT_EQ(A->TimeStamp(), FileTimeToDateTime(Times[1]));
    EXPECT_EQ(B->TimeStamp(), FileTimeToDateTime(Times[2]));
    EXPECT_EQ(C->LastError(), S_OK);
    EXPECT_EQ(A->LastError(), S_FALSE);
    EXPECT_EQ(B->LastError(), OPC_E_BADTYPE);
}

TEST_F(DataPathTest, WakeUpHookThatRaisesLeavesThePostDelivered) {
    // A post that queued its list succeeds whatever the wake-up hook does: the
    // list is delivered once and freed once.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    Application->ProcessMessages();
    Events.clear();
    int Wakes = 0;
    Application->SetWakeUpHook([&] {
        ++Wakes;
        throw EOPCException("hook failed");
    });
    struct Unhook {
        ~Unhook() { Application->SetWakeUpHook(nullptr); }
    } Guard;
    OPCHANDLE Handle = G->OPCItems()->GetItem(0)->GetClientHandle();
    OleVariant Value(7);
    VARIANT Raw = Value.Var();
    WORD Quality = 0xC0;
    FILETIME Time = RecentFileTime(1);
    HRESULT Error = S_OK;
    EXPECT_EQ(G->DataCallback()->OnDataChange(0, G->ID(), S_OK, S_OK, 1, &Handle, &Raw, &Quality,
                                              &Time, &Error),
              S_OK);
    EXPECT_EQ(Wakes, 1);
    ASSERT_TRUE(WaitEvents(1));
    Application->ProcessMessages();
    EXPECT_EQ(Events.size(), 1u);
    EXPECT_EQ(Text(G->OPCItems()->GetItem(0)), "7");
}

TEST_F(DataPathTest, ValuesByReferenceAreStoredAsTheValuesTheyPointTo) {
    // A value by reference points into memory the server frees after the call:
    // the item keeps a copy of the value. A reference to a reference is
    // refused for its item only.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.String"});
    Application->ProcessMessages();
    Events.clear();
    TVexoItem *A = G->OPCItems()->GetItem(0);
    TVexoItem *B = G->OPCItems()->GetItem(1);
    const TVexoItemValue BBefore = B->Snapshot();
    LONG Number = 11;
    VARIANT Loop;
    Loop.vt = VT_BYREF | VT_VARIANT;
    Loop.pvarVal = &Loop;
    VARIANT Raw[2];
    platform::VariantInit(&Raw[0]);
    Raw[0].vt = VT_BYREF | VT_I4;
    Raw[0].byref = &Number;
    Raw[1] = Loop;
    OPCHANDLE Handles[2] = {A->GetClientHandle(), B->GetClientHandle()};
    WORD Q[2] = {0xC0, 0xC0};
    FILETIME T[2] = {RecentFileTime(), RecentFileTime()};
    HRESULT E[2] = {S_OK, S_OK};
    G->DataCallback()->OnDataChange(0, G->ID(), S_OK, S_OK, 2, Handles, Raw, Q, T, E);
    Number = 99; // the server's memory changes (or goes) after the call
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(A->Value().VarType(), VT_I4);
    EXPECT_EQ(Text(A), "11");
    EXPECT_EQ(Events[0].Items, (std::vector<TVexoItem *>{A, B}));
    EXPECT_EQ(B->Quality(), 0);
    EXPECT_EQ(B->LastError(), E_INVALIDARG);
    EXPECT_EQ(Text(B), VarToAStr(BBefore.Value)); // the old value stays
}

TEST_F(DataPathTest, AnotherGroupsChangeIsIgnoredAndAnEmptyChangeIsStillPosted) {
    // A change naming another group touches nothing, not even TaskId; an
    // empty change for the sink's own group is posted as an empty list.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    Application->ProcessMessages();
    Events.clear();
    TVexoItem *A = G->OPCItems()->GetItem(0);
    const TVexoItemValue Before = A->Snapshot();
    G->SetTaskId(77);

    OPCHANDLE Handle = A->GetClientHandle();
    OleVariant Value(5);
    WORD Quality = 0xC0;
    FILETIME Time = RecentFileTime();
    HRESULT Error = S_OK;
    G->DataCallback()->OnDataChange(77, G->ID() + 1, S_OK, S_OK, 1, &Handle, &Value.Var(),
                                    &Quality, &Time, &Error);
    G->DataCallback()->OnDataChange(0, G->ID(), S_OK, S_OK, 0, nullptr, nullptr, nullptr,
                                    nullptr, nullptr);
    ASSERT_TRUE(WaitEvents(1));
    Application->ProcessMessages();
    ASSERT_EQ(Events.size(), 1u);
    EXPECT_TRUE(Events[0].Items.empty());
    EXPECT_EQ(G->TaskId(), 77u);
    EXPECT_EQ(A->Quality(), Before.Quality);
    EXPECT_EQ(VarToAStr(A->Value()), VarToAStr(Before.Value));
}

TEST_F(DataPathTest, CompletionsClearOnlyTheMatchingTaskId) {
    // A read, write or cancel completion clears TaskId when its transaction
    // id equals it and leaves another id alone.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    TVexoDataCallback *Sink = G->DataCallback();
    G->SetTaskId(9);
    Sink->OnCancelComplete(8, G->ID());
    EXPECT_EQ(G->TaskId(), 9u);
    Sink->OnCancelComplete(9, G->ID() + 5); // no group test for cancels
    EXPECT_EQ(G->TaskId(), 0u);
    G->SetTaskId(10);
    Sink->OnReadComplete(10, G->ID() + 5, S_OK, S_OK, 0, nullptr, nullptr, nullptr, nullptr,
                         nullptr);
    EXPECT_EQ(G->TaskId(), 0u);
    G->SetTaskId(11);
    Sink->OnWriteComplete(11, G->ID(), S_OK, 0, nullptr, nullptr);
    EXPECT_EQ(G->TaskId(), 0u);
}

TEST_F(DataPathTest, WriteCompletionListsFailedItemsClampIncluded) {
    // A write completion lists the items with any non-zero code (a clamp
    // too) as a write error, with quality 0; others get LastError 0. Without
    // failures an empty write-complete list is posted.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.Real8",
                                   "Simulation.Line 1.Setpoint"});
    G->SyncRead(nullptr, true);
    Application->ProcessMessages();
    Events.clear();
    TVexoItem *A = G->OPCItems()->GetItem(0);
    TVexoItem *B = G->OPCItems()->GetItem(1);
    TVexoItem *C = G->OPCItems()->GetItem(2);
    B->SetLastError(E_FAIL);
    ASSERT_EQ(A->Quality(), 0xC0);

    OPCHANDLE Handles[3] = {A->GetClientHandle(), B->GetClientHandle(), C->GetClientHandle()};
    HRESULT Errors[3] = {OPC_E_BADRIGHTS, S_OK, OPC_S_CLAMP};
    G->DataCallback()->OnWriteComplete(0, G->ID(), S_FALSE, 3, Handles, Errors);
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(Events[0].What, SeenEvent::WriteError);
    EXPECT_EQ(Events[0].Items, (std::vector<TVexoItem *>{A, C}));
    EXPECT_EQ(A->Quality(), 0);
    EXPECT_EQ(A->LastError(), OPC_E_BADRIGHTS);
    EXPECT_EQ(C->Quality(), 0);
    EXPECT_EQ(C->LastError(), OPC_S_CLAMP);
    EXPECT_EQ(B->LastError(), S_OK);
    EXPECT_EQ(B->Quality(), 0xC0);

    HRESULT Good[1] = {S_OK};
    G->DataCallback()->OnWriteComplete(0, G->ID(), S_OK, 1, &Handles[1], Good);
    ASSERT_TRUE(WaitEvents(2));
    EXPECT_EQ(Events[1].What, SeenEvent::WriteComplete);
    EXPECT_TRUE(Events[1].Items.empty());
}

TEST_F(DataPathTest, HandlesOfDestroyedItemsAreSkipped) {
    // A handle that no longer reaches an item is skipped by the callback, and
    // an item destroyed after the post is dropped before the event.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.Real8",
                                   "Simulation.Bucket.UInt2"});
    Application->ProcessMessages();
    Events.clear();
    TVexoItem *A = G->OPCItems()->GetItem(0);
    TVexoItem *B = G->OPCItems()->GetItem(1);
    TVexoItem *C = G->OPCItems()->GetItem(2);
    OPCHANDLE Handles[3] = {A->GetClientHandle(), B->GetClientHandle(), C->GetClientHandle()};
    delete A; // its handle is stale from now on
    OleVariant Values[3] = {OleVariant(1), OleVariant(2), OleVariant(3)};
    VARIANT Raw[3] = {Values[0].Var(), Values[1].Var(), Values[2].Var()};
    WORD Q[3] = {0xC0, 0xC0, 0xC0};
    FILETIME T[3] = {RecentFileTime(), RecentFileTime(), RecentFileTime()};
    HRESULT E[3] = {S_OK, S_OK, S_OK};
    G->DataCallback()->OnDataChange(0, G->ID(), S_OK, S_OK, 3, Handles, Raw, Q, T, E);
    delete C; // after the post, before the event
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(Events[0].Items, (std::vector<TVexoItem *>{B}));
    EXPECT_EQ(Text(B), "2");
}

TEST_F(DataPathTest, SinksOfAGroupThatLeftTheServerIgnoreLateCalls) {
    // After its group left the server, a data callback still held by the
    // server ignores calls; a late DA 1.0 notification only beeps.
    Open();
    TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4"});
    platform::ComPtr<TVexoDataCallback> Sink(G->DataCallback());
    const OPCHANDLE Handle = G->OPCItems()->GetItem(0)->GetClientHandle();
    const int ID = G->ID();
    G->OPCRemoveGroup();
    Application->ProcessMessages();
    Events.clear();
    G->SetTaskId(3);
    OleVariant Value(1);
    OPCHANDLE H = Handle;
    WORD Q = 0xC0;
    FILETIME T = RecentFileTime();
    HRESULT E = S_OK;
    EXPECT_EQ(Sink->OnDataChange(3, ID, S_OK, S_OK, 1, &H, &Value.Var(), &Q, &T, &E), S_OK);
    EXPECT_EQ(Sink->OnCancelComplete(3, ID), S_OK);
    EXPECT_EQ(G->TaskId(), 3u);
    Sink = nullptr;

    G->OPCAddGroup();
    ASSERT_TRUE(G->DataCallback());
    Application->ProcessMessages();
    EXPECT_TRUE(Events.empty());
}

// --- DA 1.0 advise sink, fed by hand --------------------------------------------

class AdviseSinkTest : public DataPathFixture {
  protected:
    void Feed(TVexoGroup *G, const std::vector<BYTE> &Block, UINT Format) {
        HGLOBAL H = StreamBuilder::ToGlobal(Block);
        FORMATETC F{static_cast<CLIPFORMAT>(Format), nullptr, DVASPECT_CONTENT, -1,
                    TYMED_HGLOBAL};
        STGMEDIUM M{};
        M.tymed = TYMED_HGLOBAL;
        M.hGlobal = H;
        G->AdviseSink()->OnDataChange(&F, &M);
        EXPECT_EQ(platform::GlobalLockCount(H), 0u);
        platform::GlobalFree(H);
    }
    /// Connects to the DA 1.0 server with a group of Ids; no events pending.
    TVexoGroup *OpenGroup(const std::vector<std::string> &Ids) {
        Open(SimDA10ProgID);
        TVexoGroup *G = AddGroup("G", Ids);
        EXPECT_TRUE(G->AdviseSink());
        EXPECT_FALSE(G->DataCallback());
        Application->ProcessMessages();
        Events.clear();
        return G;
    }
};

TEST_F(AdviseSinkTest, StreamWithTimeStoresValuesAndKeepsOnlyMajorQualityBits) {
    // A data-with-time stream stores values (strings and arrays read from the
    // stream itself), quality AND 0xC0 and time stamps, leaves LastError alone
    // and posts one list for the group.
    TVexoGroup *G = OpenGroup({"Simulation.Bucket.Int4", "Simulation.Bucket.String",
                               "Simulation.Bucket.Int4Array", "Simulation.Bucket.StringArray"});
    TVexoItem *I[4];
    for (int k = 0; k < 4; ++k)
        I[k] = G->OPCItems()->GetItem(k);
    I[0]->SetLastError(OPC_E_BADTYPE);
    G->SetTaskId(12);
    const FILETIME T = RecentFileTime();
    StreamBuilder S(true);
    S.Add(I[1]->GetClientHandle(), 0x40, StreamBuilder::Str(OLESTR("h\u00e9llo")), T);
    S.Add(I[0]->GetClientHandle(), 0xD8, StreamBuilder::I4(-7), T);
    S.Add(I[2]->GetClientHandle(), 0xC0, StreamBuilder::I4Array({1, 2, 3}, 0), T);
    S.Add(I[3]->GetClientHandle(), 0xC0, StreamBuilder::StrArray({OLESTR("a"), OLESTR(""), OLESTR("bc")}), T);
    Feed(G, S.Build(12), OPCSTMFORMATDATATIME);
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(Events[0].Items, (std::vector<TVexoItem *>{I[1], I[0], I[2], I[3]}));
    EXPECT_EQ(G->TaskId(), 0u);
    EXPECT_EQ(Text(I[0]), "-7");
    EXPECT_EQ(I[0]->Quality(), 0xC0);
    EXPECT_EQ(I[0]->LastError(), OPC_E_BADTYPE);
    EXPECT_EQ(Text(I[1]), "h\u00e9llo");
    EXPECT_EQ(I[1]->Quality(), 0x40);
    EXPECT_EQ(Text(I[2]), "1;2;3;");
    EXPECT_EQ(Text(I[3]), "a;;bc;");
    EXPECT_EQ(I[2]->TimeStamp(), FileTimeToDateTime(T));
}

/// A write-complete block: group header, then (handle, code) per item.
std::vector<BYTE> WriteBlock(DWORD Transaction, const std::vector<OPCITEMHEADERWRITE> &Items,
                             DWORD ClaimedCount) {
    std::vector<BYTE> Out(sizeof(OPCGROUPHEADERWRITE) + Items.size() * sizeof(OPCITEMHEADERWRITE));
    const OPCGROUPHEADERWRITE G{ClaimedCount, 0, Transaction, S_FALSE};
    std::memcpy(Out.data(), &G, sizeof G);
    if (!Items.empty())
        std::memcpy(Out.data() + sizeof G, Items.data(), Items.size() * sizeof Items[0]);
    return Out;
}

TEST_F(AdviseSinkTest, WriteCompleteStreamRaisesWriteEvents) {
    // A write-complete block ends its transaction, stores each item's code
    // and raises a write error listing the failed items (a clean one a write
    // complete); a block claiming more items than it holds posts nothing.
    TVexoGroup *G = OpenGroup({"Simulation.Bucket.Int4", "Simulation.Bucket.Int1"});
    TVexoItem *A = G->OPCItems()->GetItem(0);
    TVexoItem *B = G->OPCItems()->GetItem(1);
    G->SetTaskId(21);
    Feed(G, WriteBlock(21, {{A->GetClientHandle(), S_OK}, {B->GetClientHandle(), OPC_E_RANGE}}, 2),
         OPCSTMFORMATWRITECOMPLETE);
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(Events[0].What, SeenEvent::WriteError);
    EXPECT_EQ(Events[0].Items, (std::vector<TVexoItem *>{B}));
    EXPECT_EQ(B->LastError(), OPC_E_RANGE);
    EXPECT_EQ(B->Quality(), 0);
    EXPECT_EQ(A->LastError(), S_OK);
    EXPECT_EQ(G->TaskId(), 0u);

    Feed(G, WriteBlock(22, {{A->GetClientHandle(), S_OK}}, 1), OPCSTMFORMATWRITECOMPLETE);
    ASSERT_TRUE(WaitEvents(2));
    EXPECT_EQ(Events[1].What, SeenEvent::WriteComplete);
    EXPECT_TRUE(Events[1].Items.empty());

    G->SetTaskId(23);
    Feed(G, WriteBlock(23, {{A->GetClientHandle(), E_FAIL}}, 5), OPCSTMFORMATWRITECOMPLETE);
    Application->ProcessMessages();
    EXPECT_EQ(Events.size(), 2u);
    EXPECT_EQ(A->LastError(), S_OK);
    EXPECT_EQ(G->TaskId(), 0u); // the transaction ended all the same
}

TEST_F(AdviseSinkTest, DataOnlyStreamLeavesTimeStampsAlone) {
    // The data-only format stores the value and leaves the time stamp.
    TVexoGroup *G = OpenGroup({"Simulation.Bucket.Int4"});
    ASSERT_TRUE(G->SyncRead(nullptr, true));
    TVexoItem *A = G->OPCItems()->GetItem(0);
    const TDateTime Stamp = A->TimeStamp();
    ASSERT_NE(Stamp, 0);
    StreamBuilder S(false);
    S.Add(A->GetClientHandle(), 0xC0, StreamBuilder::I4(99));
    Feed(G, S.Build(), OPCSTMFORMATDATA);
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(Text(A), "99");
    EXPECT_EQ(A->TimeStamp(), Stamp);
}

TEST_F(AdviseSinkTest, FailedStatusOtherFormatsAndMalformedBlocksPostNothing) {
    // A failed status clears a matching TaskId but stores and posts nothing;
    // another format, or a block whose value lies outside it, is ignored.
    TVexoGroup *G = OpenGroup({"Simulation.Bucket.Int4"});
    TVexoItem *A = G->OPCItems()->GetItem(0);
    const OPCHANDLE H = A->GetClientHandle();
    G->SetTaskId(5);
    StreamBuilder Failed(true);
    Failed.Add(H, 0xC0, StreamBuilder::I4(1));
    Feed(G, Failed.Build(5, E_FAIL), OPCSTMFORMATDATATIME);
    EXPECT_EQ(G->TaskId(), 0u);

    StreamBuilder Good(true);
    Good.Add(H, 0xC0, StreamBuilder::I4(2));
    Feed(G, Good.Build(), OPCSTMFORMATWRITECOMPLETE);

    // A block whose value runs past its end is ignored, but the transaction
    // its readable header names has ended all the same. (A scalar needs the
    // 16 bytes of the smaller VARIANT.)
    G->SetTaskId(6);
    std::vector<BYTE> Cut = Good.Build(6);
    Cut.resize(Cut.size() - sizeof(VARIANT) + 12);
    Feed(G, Cut, OPCSTMFORMATDATATIME);
    EXPECT_EQ(G->TaskId(), 0u);

    StreamBuilder Str(true);
    Str.Add(H, 0xC0, StreamBuilder::Str(OLESTR("abc")));
    std::vector<BYTE> Long = Str.Build();
    // Claim a string longer than the block, where a 32-bit and where a
    // 64-bit server keeps its length.
    OPCITEMHEADER1 IH;
    std::memcpy(&IH, Long.data() + sizeof(OPCGROUPHEADER), sizeof IH);
    const DWORD Huge = 0x7FFFFFF0;
    std::memcpy(Long.data() + IH.dwValueOffset + 16, &Huge, sizeof Huge);
    std::memcpy(Long.data() + IH.dwValueOffset + sizeof(VARIANT), &Huge, sizeof Huge);
    Feed(G, Long, OPCSTMFORMATDATATIME);

    StreamBuilder Empty(true);
    Feed(G, Empty.Build(), OPCSTMFORMATDATATIME); // nothing to list: not posted

    // A good block afterwards is the only event.
    Feed(G, Good.Build(), OPCSTMFORMATDATATIME);
    ASSERT_TRUE(WaitEvents(1));
    Application->ProcessMessages();
    EXPECT_EQ(Events.size(), 1u);
    EXPECT_EQ(Text(A), "2");
}

TEST_F(AdviseSinkTest, ParseStreamRefusesBlocksThatDoNotHoldWhatTheyClaim) {
    // The reader checks every count, offset and length against the block.
    StreamBuilder S(true);
    S.Add(1, 0xC0, StreamBuilder::I4Array({1, 2}));
    S.Add(2, 0xC0, StreamBuilder::StrArray({OLESTR("xy")}));
    const std::vector<BYTE> Block = S.Build(3);
    TVexoAdviseSink::StreamHeader Head{};
    std::vector<TVexoAdviseSink::StreamEntry> Out;
    ASSERT_TRUE(TVexoAdviseSink::ParseStream(Block.data(), Block.size(), true, Head, Out));
    EXPECT_EQ(Head.ItemCount, 2u);
    EXPECT_EQ(Head.TransactionID, 3u);
    ASSERT_EQ(Out.size(), 2u);
    EXPECT_EQ(Out[0].Value.vt, VT_ARRAY | VT_I4);
    EXPECT_EQ(Out[1].Value.vt, VT_ARRAY | VT_BSTR);
    TVexoAdviseSink::ClearEntries(Out);

    // Every shorter block is refused and hands back nothing (cutting only the
    // padding after the last value leaves it whole).
    const std::size_t Last = StreamBuilder::StrArray({OLESTR("xy")}).size();
    const std::size_t Padding = ((Last + 7) & ~std::size_t(7)) - Last;
    for (std::size_t Size = 0; Size < Block.size() - Padding; ++Size) {
        EXPECT_FALSE(TVexoAdviseSink::ParseStream(Block.data(), Size, true, Head, Out))
            << "size " << Size;
        EXPECT_TRUE(Out.empty());
    }

    // An item count the block cannot hold, and an array count it cannot hold.
    std::vector<BYTE> Many = Block;
    const DWORD Count = 0x10000000;
    std::memcpy(Many.data() + 4, &Count, sizeof Count);
    EXPECT_FALSE(TVexoAdviseSink::ParseStream(Many.data(), Many.size(), true, Head, Out));
    std::vector<BYTE> Elems = Block;
    OPCITEMHEADER1 IH;
    std::memcpy(&IH, Elems.data() + sizeof(OPCGROUPHEADER), sizeof IH);
    SAFEARRAY D;
    const std::size_t At = IH.dwValueOffset + sizeof(VARIANT);
    std::memcpy(&D, Elems.data() + At, sizeof D);
    D.rgsabound[0].cElements = 0xFFFFFFFF;
    std::memcpy(Elems.data() + At, &D, sizeof D);
    EXPECT_FALSE(TVexoAdviseSink::ParseStream(Elems.data(), Elems.size(), true, Head, Out));
    // A reference type would be a pointer into the sender's memory.
    std::vector<BYTE> ByRef = Block;
    const VARTYPE Ref = VT_BYREF | VT_I4;
    std::memcpy(ByRef.data() + IH.dwValueOffset, &Ref, sizeof Ref);
    EXPECT_FALSE(TVexoAdviseSink::ParseStream(ByRef.data(), ByRef.size(), true, Head, Out));
    EXPECT_TRUE(Out.empty());

    // Headers may share a value, but not so often that the copies would need
    // far more memory than the block holds.
    StreamBuilder Shared(true);
    Shared.Add(1, 0xC0, StreamBuilder::Str(vexo::platform::WideString(2000, WCHAR('x'))));
    for (OPCHANDLE H = 2; H <= 300; ++H)
        Shared.Add(H, 0xC0, StreamBuilder::I4(0));
    std::vector<BYTE> Fan = Shared.Build();
    OPCITEMHEADER1 First;
    std::memcpy(&First, Fan.data() + sizeof(OPCGROUPHEADER), sizeof First);
    for (int Twice = 0; Twice < 2; ++Twice) { // two headers on one value is fine
        const std::size_t At = sizeof(OPCGROUPHEADER) + (1 + Twice) * sizeof(OPCITEMHEADER1);
        OPCITEMHEADER1 IHn;
        std::memcpy(&IHn, Fan.data() + At, sizeof IHn);
        IHn.dwValueOffset = First.dwValueOffset;
        std::memcpy(Fan.data() + At, &IHn, sizeof IHn);
    }
    ASSERT_TRUE(TVexoAdviseSink::ParseStream(Fan.data(), Fan.size(), true, Head, Out));
    TVexoAdviseSink::ClearEntries(Out);
    for (std::size_t i = 1; i < 300; ++i) { // every header on the long string
        const std::size_t At = sizeof(OPCGROUPHEADER) + i * sizeof(OPCITEMHEADER1);
        OPCITEMHEADER1 IHn;
        std::memcpy(&IHn, Fan.data() + At, sizeof IHn);
        IHn.dwValueOffset = First.dwValueOffset;
        std::memcpy(Fan.data() + At, &IHn, sizeof IHn);
    }
    EXPECT_FALSE(TVexoAdviseSink::ParseStream(Fan.data(), Fan.size(), true, Head, Out));
    EXPECT_TRUE(Out.empty());
}

TEST_F(AdviseSinkTest, UnAdviseTwiceSendsOneUnadvise) {
    // The first UnAdvise cancels the data and the write-complete advise, the second sends nothing.
    TVexoGroup *G = OpenGroup({"Simulation.Bucket.Int4"});
    platform::ComPtr<TVexoAdviseSink> Sink(G->AdviseSink());
    Control->ClearCallLog();
    Sink->UnAdvise();
    Sink->UnAdvise();
    EXPECT_EQ(Calls("DUnadvise").size(), 2u);
    EXPECT_NE(Sink->AdviseResult(), S_OK);
    G->OPCRemoveGroup(); // its own UnAdvise finds nothing to cancel
    EXPECT_EQ(Calls("DUnadvise").size(), 2u);

    // A notification arriving after the group left the server only beeps.
    HGLOBAL H = StreamBuilder::ToGlobal(StreamBuilder(true).Build());
    FORMATETC F{static_cast<CLIPFORMAT>(OPCSTMFORMATDATATIME), nullptr, DVASPECT_CONTENT, -1,
                TYMED_HGLOBAL};
    STGMEDIUM M{};
    M.tymed = TYMED_HGLOBAL;
    M.hGlobal = H;
    Sink->OnDataChange(&F, &M);
    platform::GlobalFree(H);
    EXPECT_EQ(Beeps, 1);
    Application->ProcessMessages();
    EXPECT_TRUE(Events.empty());
}

// --- End to end ------------------------------------------------------------------

TEST_F(DataPathTest, SubscribedItemsChangeEndToEndOnBothServers) {
    // Values set on the server arrive through a scan as one data change, on
    // the DA 2.0 callback and on the DA 1.0 stream alike, strings and arrays
    // included.
    for (const char *ProgID : {SimProgID, SimDA10ProgID}) {
        SCOPED_TRACE(ProgID);
        Events.clear();
        Open(ProgID);
        TVexoGroup *G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.String",
                                       "Simulation.Bucket.Real8Array"});
        Scan();
        Events.clear();
        OleVariant I(1234), S("changed");
        Control->SetTagValue(OLESTR("Simulation.Bucket.Int4"), &I.Var(), 0xC0);
        Control->SetTagValue(OLESTR("Simulation.Bucket.String"), &S.Var(), 0xC0);
        Scan();
        ASSERT_TRUE(WaitEvents(1));
        EXPECT_EQ(Events.back().Items.size(), 2u);
        EXPECT_EQ(Text(G->OPCItems()->GetItem(0)), "1234");
        EXPECT_EQ(Text(G->OPCItems()->GetItem(1)), "changed");
        EXPECT_NE(G->OPCItems()->GetItem(0)->TimeStamp(), 0);
        Server->Disconnect();
    }
}

TEST_F(DataPathTest, FirstValuesArriveWhenTheCallbackComesBeforeAdviseReturns) {
    // Creating a group with its items (items first, then the sink) loses no
    // first value when the server sends them inside Advise, on either server.
    for (const char *ProgID : {SimProgID, SimDA10ProgID}) {
        SCOPED_TRACE(ProgID);
        Events.clear();
        Open(ProgID);
        TVexoGroup *G = AddGroup("G", {"Simulation.Ramp.Int4", "Simulation.Constant.String"});
        G->OPCRemoveGroup();
        ASSERT_EQ(Control->SetCompletionMode(SIM_COMPLETE_BEFORE_RETURN), S_OK);
        G->OPCAddGroup();
        Application->ProcessMessages(); // no scan: the values came with the advise
        ASSERT_EQ(Events.size(), 1u);
        EXPECT_EQ(Events[0].Items, (std::vector<TVexoItem *>{G->OPCItems()->GetItem(0),
                                                             G->OPCItems()->GetItem(1)}));
        for (const TVexoItemValue &V : Events[0].Values) {
            EXPECT_EQ(V.Quality, 0xC0);
            EXPECT_NE(V.TimeStamp, 0);
        }
        EXPECT_EQ(Text(G->OPCItems()->GetItem(1)), "42");
        Server->Disconnect();
    }
}

} // namespace
} // namespace vexo::test
