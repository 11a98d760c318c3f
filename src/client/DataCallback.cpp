//===- DataCallback.cpp - the IOPCDataCallback sink of a group -----------===//
//
// TVexoDataCallback receives a group's data changes, refreshes and the
// completions of its asynchronous calls from a DA 2.0 server. It runs on the
// server's thread: it resolves each client handle through the item table,
// stores into the items under their own locks, builds one TVexoItemList and
// posts it to the server component's message target. A sink detached from its
// group ignores every late call.
//
//===----------------------------------------------------------------------===//

#include <memory>

#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/client/TVexoItemList.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/foundation/Conversions.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/platform/Time.h>

namespace vexo {

namespace {

/// Posts List to Target; frees it when the target is gone.
void PostList(HWND Target, UINT Msg, WPARAM WParam, std::unique_ptr<TVexoItemList> List) {
    if (PostMessage(Target, Msg, WParam, reinterpret_cast<LPARAM>(List.get())))
        List.release();
}

} // namespace

void PostWriteResults(TVexoGroup &Group, int GroupID, HWND Target, DWORD Count,
                      const OPCHANDLE *Handles, const HRESULT *Errors) {
    auto List = std::make_unique<TVexoItemList>();
    List->SetGroupID(GroupID);
    int Failures = 0;
    if (Count > 0 && Handles && Errors) {
        TVexoItems *Items = Group.OPCItems();
        auto Lock = Items->LockForCallback();
        for (DWORD i = 0; i < Count; ++i) {
            try {
                TVexoItem *Item = Items->ItemFromHandle(Handles[i]);
                if (!Item)
                    continue;
                // Any code but 0 counts as a failed write, success codes
                // such as a clamped value included.
                if (Errors[i] != S_OK) {
                    Item->SetFailed(Errors[i]);
                    List->AddFromCallback(Item, Handles[i]);
                    ++Failures;
                } else {
                    Item->SetLastError(S_OK);
                }
            } catch (...) {
            }
        }
    }
    PostList(Target, Failures > 0 ? CM_OPCWRITEERROR : CM_OPCWRITECOMPLETE, 0, std::move(List));
}

TVexoDataCallback::TVexoDataCallback(TVexoGroup *Group)
    : FGroup(Group), FGroupID(Group ? Group->ID() : -1), FTarget(0) {
    // A guard reference for the time of the registration: a server that
    // queries the sink and lets go again must not free it half-built.
    FRefs.store(1, std::memory_order_relaxed);
    if (Group) {
        if (TVexoServer *Server = Group->OPCServer())
            FTarget = Server->GetHandle();
        FAdviseResult =
            AdviseConnectionPoint(Group->ItemMgt(), IID_IOPCDataCallback, GetUnknown(), FCookie);
    }
    FRefs.fetch_sub(1, std::memory_order_acq_rel);
}

TVexoDataCallback::~TVexoDataCallback() {
    // Unregisters only while still attached to a group on the server; a group
    // that left the server has detached the sink and its server let it go.
    TVexoGroup *Group;
    {
        std::lock_guard<std::mutex> Gate(FGate);
        Group = FGroup;
        FGroup = nullptr;
    }
    if (Group && FAdviseResult == S_OK && Group->ItemMgt())
        UnadviseConnectionPoint(Group->ItemMgt(), IID_IOPCDataCallback, FCookie);
}

ULONG TVexoDataCallback::AddRef() { return FRefs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG TVexoDataCallback::Release() {
    ULONG Left = FRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (Left == 0)
        delete this;
    return Left;
}

void TVexoDataCallback::Detach() {
    std::lock_guard<std::mutex> Gate(FGate);
    FGroup = nullptr;
}

// The gate is not held across Unadvise: a server may wait there for a
// callback that is running in this sink.
void TVexoDataCallback::Withdraw() {
    TVexoGroup *Group;
    {
        std::lock_guard<std::mutex> Gate(FGate);
        Group = FGroup;
        FGroup = nullptr;
    }
    if (Group && SUCCEEDED(FAdviseResult) && Group->ItemMgt())
        UnadviseConnectionPoint(Group->ItemMgt(), IID_IOPCDataCallback, FCookie);
    FAdviseResult = E_FAIL;
}

void TVexoDataCallback::ClearTaskId(DWORD Id) {
    std::lock_guard<std::mutex> Gate(FGate);
    if (FGroup)
        FGroup->ClearTaskId(Id);
}

void TVexoDataCallback::DeliverData(OPCHANDLE hGroup, DWORD dwCount, const OPCHANDLE *phClientItems,
                                    const VARIANT *pvValues, const WORD *pwQualities,
                                    const FILETIME *pftTimeStamps, const HRESULT *pErrors) {
    auto List = std::make_unique<TVexoItemList>();
    List->SetGroupID(FGroupID);
    // A server that announces entries without their arrays has sent nothing
    // readable; the (empty) change is still reported.
    if (dwCount > 0 && phClientItems && pvValues && pwQualities && pftTimeStamps && pErrors) {
        List->ReserveFromCallback(static_cast<int>(dwCount));
        TVexoItems *Items = FGroup->OPCItems();
        // One reading of the local offset serves the whole batch, and a time
        // stamp equal to the one before (values of one scan mostly share
        // theirs) is not converted again.
        const int Offset = platform::CurrentUtcOffsetMinutes();
        FILETIME LastStamp{0, 0};
        TDateTime LastTime = 0;
        auto Lock = Items->LockForCallback();
        for (DWORD i = 0; i < dwCount; ++i) {
            TVexoItem *Item = nullptr;
            try {
                Item = Items->ItemFromHandle(phClientItems[i]);
                if (!Item)
                    continue; // the item is gone: nothing to store, nothing to list
                List->AddFromCallback(Item, phClientItems[i]);
                const FILETIME &Stamp = pftTimeStamps[i];
                if (Stamp.dwLowDateTime != LastStamp.dwLowDateTime ||
                    Stamp.dwHighDateTime != LastStamp.dwHighDateTime) {
                    LastStamp = Stamp;
                    LastTime = FileTimeToDateTime(Stamp, Offset);
                }
                Item->StoreValue(pvValues[i], pwQualities[i], LastTime, pErrors[i]);
            } catch (const EOleSysError &Failure) {
                // A value that cannot be copied fails its item, which is still reported.
                if (Item)
                    Item->SetFailed(Failure.ErrorCode());
            } catch (...) {
                // One item's failure ends that item's handling only.
            }
        }
    }
    PostList(FTarget, CM_OPCDATACHANGE, static_cast<WPARAM>(hGroup), std::move(List));
}

HRESULT TVexoDataCallback::OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                        HRESULT hrMastererror, DWORD dwCount,
                                        OPCHANDLE *phClientItems, VARIANT *pvValues,
                                        WORD *pwQualities, FILETIME *pftTimeStamps,
                                        HRESULT *pErrors) {
    (void)hrMasterquality;
    (void)hrMastererror;
    try {
        std::lock_guard<std::mutex> Gate(FGate);
        if (!FGroup || hGroup != static_cast<OPCHANDLE>(FGroupID))
            return S_OK;
        FGroup->ClearTaskId(dwTransid);
        DeliverData(hGroup, dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors);
    } catch (...) {
    }
    return S_OK;
}

HRESULT TVexoDataCallback::OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                          HRESULT hrMasterquality, HRESULT hrMastererror,
                                          DWORD dwCount, OPCHANDLE *phClientItems,
                                          VARIANT *pvValues, WORD *pwQualities,
                                          FILETIME *pftTimeStamps, HRESULT *pErrors) {
    (void)hrMasterquality;
    (void)hrMastererror;
    try {
        std::lock_guard<std::mutex> Gate(FGate);
        if (!FGroup)
            return S_OK;
        // The transaction ends whatever group the completion names.
        FGroup->ClearTaskId(dwTransid);
        if (hGroup != static_cast<OPCHANDLE>(FGroupID))
            return S_OK;
        DeliverData(hGroup, dwCount, phClientItems, pvValues, pwQualities, pftTimeStamps, pErrors);
    } catch (...) {
    }
    return S_OK;
}

HRESULT TVexoDataCallback::OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr,
                                           DWORD dwCount, OPCHANDLE *pClienthandles,
                                           HRESULT *pErrors) {
    (void)hrMastererr;
    try {
        std::lock_guard<std::mutex> Gate(FGate);
        if (!FGroup || hGroup != static_cast<OPCHANDLE>(FGroupID))
            return S_OK;
        FGroup->ClearTaskId(dwTransid);
        PostWriteResults(*FGroup, FGroupID, FTarget, dwCount, pClienthandles, pErrors);
    } catch (...) {
    }
    return S_OK;
}

HRESULT TVexoDataCallback::OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) {
    (void)hGroup;
    try {
        std::lock_guard<std::mutex> Gate(FGate);
        if (FGroup)
            FGroup->ClearTaskId(dwTransid);
    } catch (...) {
    }
    return S_OK;
}

} // namespace vexo
