//===- TVexoGroupIO.cpp - group reads, writes, refresh and cancel --------===//
//
// The I/O operations of TVexoGroup: synchronous reads and writes through
// IOPCSyncIO, asynchronous ones through IOPCAsyncIO2 (DA 2.0) or IOPCAsyncIO
// (DA 1.0), refresh and cancel. Each list operation makes one server call
// for the whole list, stores each item's outcome in the item and answers true
// only when every item succeeded. Owner thread only.
//
// The completion of an asynchronous call may arrive on the server's thread
// before the call returns; the call then leaves the items the server accepted
// as the completion left them, and TaskId at 0 (TVexoGroup.cpp).
//
//===----------------------------------------------------------------------===//

#include <memory>

#include <vexo/VexoErrors.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/client/TVexoItemList.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/foundation/Conversions.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Time.h>
#include <vexo/platform/Variant.h>

namespace vexo {

std::atomic<std::uint32_t> TransactionCounter{0};

namespace {

/// The list an operation works on: the caller's, or a temporary one of all
/// the group's items that is freed on the way out.
class OperationList {
  public:
    OperationList(TVexoItemList *Given, const TVexoItems &All) : FList(Given) {
        if (!FList) {
            FOwned = std::make_unique<TVexoItemList>(All);
            FList = FOwned.get();
        }
    }
    TVexoItemList &operator*() const { return *FList; }
    TVexoItemList *operator->() const { return FList; }

  private:
    std::unique_ptr<TVexoItemList> FOwned;
    TVexoItemList *FList;
};

/// The task-memory arrays of one server call, freed on every way out.
struct CallArrays {
    OPCHANDLE *Handles = nullptr;
    VARIANT *Values = nullptr;
    DWORD ValueCount = 0;
    HRESULT *Errors = nullptr;
    OPCITEMSTATE *States = nullptr;
    DWORD StateCount = 0;

    ~CallArrays() {
        platform::CoTaskMemFree(Handles);
        if (Values) {
            for (DWORD i = 0; i < ValueCount; ++i)
                platform::VariantClear(&Values[i]);
            platform::CoTaskMemFree(Values);
        }
        if (States) {
            for (DWORD i = 0; i < StateCount; ++i)
                platform::VariantClear(&States[i].vDataValue);
            platform::CoTaskMemFree(States);
        }
        platform::CoTaskMemFree(Errors);
    }

    /// The server handles of List, in list order.
    void BuildHandles(const TVexoItemList &List) {
        const int Count = List.Count();
        Handles = static_cast<OPCHANDLE *>(platform::CoTaskMemAlloc(sizeof(OPCHANDLE) * Count));
        if (!Handles)
            throw EOutOfMemory();
        for (int i = 0; i < Count; ++i)
            Handles[i] = List.GetItem(i)->ServerHandle();
    }
    /// Copies of the WriteValue of every item of List, in list order.
    void BuildValues(const TVexoItemList &List) {
        const int Count = List.Count();
        Values = static_cast<VARIANT *>(platform::CoTaskMemAlloc(sizeof(VARIANT) * Count));
        if (!Values)
            throw EOutOfMemory();
        for (int i = 0; i < Count; ++i) {
            platform::VariantInit(&Values[i]);
            ValueCount = static_cast<DWORD>(i + 1);
            OleCheckCopy(Values[i], List.GetItem(i)->WriteValue().Var());
        }
    }
    static void OleCheckCopy(VARIANT &Dest, const VARIANT &Src) {
        HRESULT Hr = platform::VariantCopy(&Dest, &Src);
        if (FAILED(Hr))
            OPCCheck(Hr);
    }
    struct EOutOfMemory : EOPCException {
        EOutOfMemory() : EOPCException("out of memory") {}
    };
};

/// Stores each item's result code; true when none failed. A success code
/// (high bit clear) clears LastError; a failure sets Quality 0 and the code.
bool StoreResults(const TVexoItemList &List, const HRESULT *Errors) {
    bool AllGood = true;
    for (int i = 0; i < List.Count(); ++i) {
        TVexoItem *Item = List.GetItem(i);
        const HRESULT E = Errors ? Errors[i] : E_FAIL;
        if (SUCCEEDED(E)) {
            Item->SetLastError(S_OK);
        } else {
            Item->SetFailed(E);
            AllGood = false;
        }
    }
    return AllGood;
}

/// The call-time results of an asynchronous call: refused items fail; the
/// accepted ones have LastError cleared unless their completion has arrived
/// already (Done) and stored the outcome. True when none was refused.
bool StoreAsyncResults(const TVexoItemList &List, const HRESULT *Errors, bool Done) {
    bool AllGood = true;
    for (int i = 0; i < List.Count(); ++i) {
        TVexoItem *Item = List.GetItem(i);
        const HRESULT E = Errors ? Errors[i] : E_FAIL;
        if (FAILED(E)) {
            Item->SetFailed(E);
            AllGood = false;
        } else if (!Done) {
            Item->SetLastError(S_OK);
        }
    }
    return AllGood;
}

std::uint32_t NextTransactionId() {
    return TransactionCounter.fetch_add(1, std::memory_order_relaxed) + 1;
}

OPCDATASOURCE SourceOf(bool FromCache) { return FromCache ? OPC_DS_CACHE : OPC_DS_DEVICE; }

} // namespace

bool TVexoGroup::SyncWrite(TVexoItemList *ItemList) {
    if (!FSyncIO)
        return false;
    OperationList List(ItemList, *FOPCItems);
    List->CheckAllActiveOnServer();
    const DWORD Count = static_cast<DWORD>(List->Count());
    if (Count == 0)
        return false;
    CallArrays A;
    A.BuildHandles(*List);
    A.BuildValues(*List);
    platform::ComPtr<IOPCSyncIO> Sync = FSyncIO;
    OPCCheck(Sync->Write(Count, A.Handles, A.Values, &A.Errors));
    return StoreResults(*List, A.Errors);
}

bool TVexoGroup::SyncRead(TVexoItemList *ItemList, bool FromCache) {
    if (!FSyncIO)
        return false;
    OperationList List(ItemList, *FOPCItems);
    List->CheckAllActiveOnServer();
    const DWORD Count = static_cast<DWORD>(List->Count());
    if (Count == 0)
        return false;
    CallArrays A;
    A.BuildHandles(*List);
    platform::ComPtr<IOPCSyncIO> Sync = FSyncIO;
    const HRESULT Hr = Sync->Read(SourceOf(FromCache), Count, A.Handles, &A.States, &A.Errors);
    if (A.States)
        A.StateCount = Count;
    OPCCheck(Hr);
    bool AllGood = true;
    const int Offset = platform::CurrentUtcOffsetMinutes();
    for (DWORD i = 0; i < Count; ++i) {
        TVexoItem *Item = List->GetItem(static_cast<int>(i));
        const HRESULT E = A.Errors ? A.Errors[i] : E_FAIL;
        if (SUCCEEDED(E) && A.States) {
            const OPCITEMSTATE &S = A.States[i];
            try {
                Item->StoreValue(S.vDataValue, S.wQuality,
                                 FileTimeToDateTime(S.ftTimeStamp, Offset), S_OK);
            } catch (const EOleSysError &Failure) {
                // A value that cannot be copied fails its item only.
                Item->SetFailed(Failure.ErrorCode());
                AllGood = false;
            }
        } else {
            Item->SetFailed(SUCCEEDED(E) ? E_FAIL : E);
            AllGood = false;
        }
    }
    return AllGood;
}

bool TVexoGroup::CanCallAsync() const {
    if (FAsyncIO2)
        return true;
    // A DA 1.0 call is answered through the advise connection; without one
    // the results would never arrive, so the call is not made.
    return FAsyncIO && FAdviseSink && FAdviseSink->AdviseResult() == S_OK;
}

bool TVexoGroup::AsyncWrite(TVexoItemList *ItemList) {
    if (!CanCallAsync())
        return false;
    OperationList List(ItemList, *FOPCItems);
    List->CheckAllActiveOnServer();
    const DWORD Count = static_cast<DWORD>(List->Count());
    if (Count == 0)
        return false;
    const std::uint32_t TransactionId = NextTransactionId();
    CallArrays A;
    A.BuildHandles(*List);
    A.BuildValues(*List);
    DWORD Id = 0;
    HRESULT Hr;
    BeginAsyncCall(FAsyncIO2 ? TransactionId : 0, true);
    if (FAsyncIO2) {
        platform::ComPtr<IOPCAsyncIO2> Async = FAsyncIO2;
        Hr = Async->Write(Count, A.Handles, A.Values, TransactionId, &Id, &A.Errors);
    } else {
        platform::ComPtr<IOPCAsyncIO> Async = FAsyncIO;
        Hr = Async->Write(FAdviseSink->WriteConnection(), Count, A.Handles, A.Values, &Id,
                          &A.Errors);
    }
    return EndAsyncItemCall(*List, Id, Hr, A.Errors);
}

bool TVexoGroup::EndAsyncItemCall(const TVexoItemList &List, DWORD Id, HRESULT Hr,
                                  const HRESULT *Errors) {
    bool AllGood = false;
    {
        bool Done = false;
        auto Lock = EndAsyncCall(Id, Id != 0, Done);
        if (SUCCEEDED(Hr))
            AllGood = StoreAsyncResults(List, Errors, Done);
    }
    OPCCheck(Hr);
    return AllGood;
}

bool TVexoGroup::AsyncRead(TVexoItemList *ItemList) {
    if (!CanCallAsync())
        return false;
    OperationList List(ItemList, *FOPCItems);
    List->CheckAllActiveOnServer();
    const DWORD Count = static_cast<DWORD>(List->Count());
    if (Count == 0)
        return false;
    const std::uint32_t TransactionId = NextTransactionId();
    CallArrays A;
    A.BuildHandles(*List);
    DWORD Id = 0;
    HRESULT Hr;
    BeginAsyncCall(FAsyncIO2 ? TransactionId : 0, true);
    if (FAsyncIO2) {
        platform::ComPtr<IOPCAsyncIO2> Async = FAsyncIO2;
        Hr = Async->Read(Count, A.Handles, TransactionId, &Id, &A.Errors);
    } else {
        platform::ComPtr<IOPCAsyncIO> Async = FAsyncIO;
        Hr = Async->Read(FAdviseSink->Connection(), OPC_DS_DEVICE, Count, A.Handles, &Id,
                         &A.Errors);
    }
    return EndAsyncItemCall(*List, Id, Hr, A.Errors);
}

void TVexoGroup::Refresh(bool FromCache) {
    if (!CanCallAsync())
        return;
    const std::uint32_t TransactionId = NextTransactionId();
    const DWORD Before = TaskId();
    DWORD Id = Before;
    HRESULT Hr;
    BeginAsyncCall(FAsyncIO2 ? TransactionId : 0, false);
    if (FAsyncIO2) {
        platform::ComPtr<IOPCAsyncIO2> Async = FAsyncIO2;
        Hr = Async->Refresh2(SourceOf(FromCache), TransactionId, &Id);
    } else {
        platform::ComPtr<IOPCAsyncIO> Async = FAsyncIO;
        Hr = Async->Refresh(FAdviseSink->Connection(), SourceOf(FromCache), &Id);
    }
    {
        // A failed call keeps the old id unless the server wrote one anyway.
        bool Done = false;
        EndAsyncCall(Id, SUCCEEDED(Hr) || Id != Before, Done);
    }
    OPCCheck(Hr);
}

void TVexoGroup::CancelLastAsyncCall() {
    const std::uint32_t Id = TaskId();
    if (Id == 0)
        return;
    struct ClearAfter {
        TVexoGroup *G;
        ~ClearAfter() { G->SetTaskId(0); }
    } Clear{this};
    if (FAsyncIO2) {
        platform::ComPtr<IOPCAsyncIO2> Async = FAsyncIO2;
        OPCCheck(Async->Cancel2(Id));
    } else if (FAsyncIO) {
        platform::ComPtr<IOPCAsyncIO> Async = FAsyncIO;
        OPCCheck(Async->Cancel(Id));
    }
}

} // namespace vexo
