//===- AsyncCompletionTest.cpp - completions racing the calls that cause them -===//
//
// Asynchronous reads, writes, refreshes and cancels of both server kinds with
// the scan thread running, once with completions as the scan delivers them
// (often before the call has returned), once forced on the calling thread
// before the return, once forced on another thread before the return. Each
// round must end the same way: the completion's outcome stands, TaskId is 0,
// a cancel afterwards sends nothing, and no write failure is lost. Run under
// ThreadSanitizer.
//
//===----------------------------------------------------------------------===//

#include <algorithm>
#include <chrono>
#include <string>

#include "client/DataPathSupport.h"

namespace vexo::test {
namespace {

struct TCompletionCase {
    const char *ProgID;
    VexoSimCompletion Mode;
};

std::string Describe(const TCompletionCase &Case) {
    const std::string Server = Case.ProgID == std::string(SimProgID) ? "DA20" : "DA10";
    switch (Case.Mode) {
    case SIM_COMPLETE_BEFORE_RETURN: return Server + "BeforeReturn";
    case SIM_COMPLETE_BEFORE_RETURN_OTHER_THREAD: return Server + "BeforeReturnOtherThread";
    default: return Server + "ScanThread";
    }
}

std::string CaseName(const testing::TestParamInfo<TCompletionCase> &Info) {
    return Describe(Info.param);
}

void PrintTo(const TCompletionCase &Case, std::ostream *Out) { *Out << Describe(Case); }

class AsyncCompletionTest : public DataPathFixture,
                            public testing::WithParamInterface<TCompletionCase> {
  protected:
    /// Connects with the scan thread running in the case's completion mode and
    /// adds a group of a writable item and one whose writes overflow.
    void SetUpGroup() {
        Open(GetParam().ProgID);
        ASSERT_EQ(Control->SetManualMode(FALSE), S_OK);
        ASSERT_EQ(Control->EnableCallLog(FALSE), S_OK);
        ASSERT_EQ(Control->SetCompletionMode(GetParam().Mode), S_OK);
        G = AddGroup("G", {"Simulation.Bucket.Int4", "Simulation.Bucket.Int1"});
        A = G->OPCItems()->GetItem(0);
        B = G->OPCItems()->GetItem(1);
        // Both items have their first values before the rounds begin.
        ASSERT_TRUE(PumpUntil([&] { return A->TimeStamp() != 0 && B->TimeStamp() != 0; }));
    }
    bool DA20() const { return GetParam().ProgID == std::string(SimProgID); }
    /// Waits for an event of kind K listing Item; false after the deadline.
    bool WaitListing(SeenEvent::Kind K, TVexoItem *Item) {
        return PumpUntil(
            [&] {
                for (const SeenEvent &E : Events)
                    if (E.What == K && std::find(E.Items.begin(), E.Items.end(), Item) != E.Items.end())
                        return true;
                return false;
            },
            std::chrono::seconds(5));
    }

    TVexoGroup *G = nullptr;
    TVexoItem *A = nullptr;
    TVexoItem *B = nullptr;
};

constexpr int Rounds = 20;

TEST_P(AsyncCompletionTest, WriteFailuresReachTheWriteErrorEventAndTaskIdClears) {
    // A write whose completion refuses one item lists exactly that item in the
    // write-error event with OPC_E_RANGE, whatever order the threads ran in.
    SetUpGroup();
    for (int Round = 0; Round < Rounds; ++Round) {
        SCOPED_TRACE(Round);
        Events.clear();
        A->SetWriteValue(OleVariant(Round));
        B->SetWriteValue(OleVariant(1000)); // beyond a one-byte integer
        ASSERT_TRUE(G->AsyncWrite(nullptr));
        ASSERT_TRUE(WaitListing(SeenEvent::WriteError, B));
        EXPECT_EQ(B->LastError(), OPC_E_RANGE);
        EXPECT_EQ(B->Quality(), 0);
        EXPECT_EQ(A->LastError(), S_OK);
        EXPECT_EQ(G->TaskId(), 0u);
        for (const SeenEvent &E : Events) {
            if (E.What == SeenEvent::WriteError) {
                EXPECT_EQ(E.Items, (std::vector<TVexoItem *>{B}));
            }
        }
        EXPECT_NO_THROW(G->CancelLastAsyncCall()); // nothing outstanding: nothing sent
    }
}

TEST_P(AsyncCompletionTest, ReadAndRefreshCompletionsStandAndTaskIdClears) {
    // A read whose completion fails one item leaves that item failed (DA 2.0;
    // DA 1.0 streams carry no item codes); a refresh delivers both items; after
    // each, TaskId is 0 and a cancel sends nothing.
    SetUpGroup();
    for (int Round = 0; Round < Rounds; ++Round) {
        SCOPED_TRACE(Round);
        Events.clear();
        const HRESULT Planned[2] = {S_OK, OPC_E_BADRIGHTS};
        Control->SetNextItemErrors(u"OnReadComplete", 2, Planned);
        ASSERT_TRUE(G->AsyncRead(nullptr));
        ASSERT_TRUE(WaitListing(SeenEvent::DataChange, B));
        if (DA20()) {
            EXPECT_EQ(B->LastError(), OPC_E_BADRIGHTS);
            EXPECT_EQ(A->LastError(), S_OK);
        }
        EXPECT_EQ(B->Quality(), 0);
        EXPECT_EQ(G->TaskId(), 0u);
        EXPECT_NO_THROW(G->CancelLastAsyncCall());

        Events.clear();
        G->Refresh(Round % 2 == 0);
        ASSERT_TRUE(WaitListing(SeenEvent::DataChange, B));
        EXPECT_EQ(B->Quality(), 0xC0);
        EXPECT_EQ(G->TaskId(), 0u);
        EXPECT_NO_THROW(G->CancelLastAsyncCall());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AsyncCompletionTest,
    testing::Values(TCompletionCase{SimProgID, SIM_COMPLETE_ON_SCAN},
                    TCompletionCase{SimProgID, SIM_COMPLETE_BEFORE_RETURN},
                    TCompletionCase{SimProgID, SIM_COMPLETE_BEFORE_RETURN_OTHER_THREAD},
                    TCompletionCase{SimDA10ProgID, SIM_COMPLETE_ON_SCAN},
                    TCompletionCase{SimDA10ProgID, SIM_COMPLETE_BEFORE_RETURN},
                    TCompletionCase{SimDA10ProgID, SIM_COMPLETE_BEFORE_RETURN_OTHER_THREAD}),
    CaseName);

} // namespace
} // namespace vexo::test
