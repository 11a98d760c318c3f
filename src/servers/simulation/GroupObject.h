//===- GroupObject.h - the simulation OPC group object --------------------===//
//
// This file declares SimGroup, the COM object through which a client works
// with one group: item management, group state, synchronous and both kinds of
// asynchronous I/O, the IOPCDataCallback connection point and the DA 1.0
// IDataObject. A group has one SimGroup at a time, so every road to it (AddGroup,
// GetGroupByName, the group enumerator) hands out the same identity; it holds a
// reference to its server object. Once the group is removed from the server,
// its methods answer E_FAIL; a group removed while held goes when its object does.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <vexo/OPCDA.h>
#include <vexo/platform/ComObject.h>

#include "ConnectionPoint.h"
#include "GroupState.h"
#include "ServerCore.h"

namespace vexo::sim {

class SimGroup final
    : public platform::ComObject<IOPCItemMgt, IOPCGroupStateMgt, IOPCSyncIO, IOPCAsyncIO2,
                                 IOPCAsyncIO, IConnectionPointContainer, IDataObject>,
      public ConnectionHost {
  public:
    SimGroup(platform::ComPtr<IUnknown> server, std::shared_ptr<ServerCore> core,
             std::shared_ptr<GroupState> group, std::vector<IID> withheld);
    ~SimGroup() override;

    /// Counted here rather than in the base: the last Release unhooks the
    /// object from its group (and deletes a group marked for deletion).
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    /// Adds a reference unless the count already reached 0. Caller holds the server lock.
    bool TryAddRef();

    // IOPCItemMgt
    HRESULT STDMETHODCALLTYPE AddItems(DWORD dwCount, OPCITEMDEF *pItemArray,
                                       OPCITEMRESULT **ppAddResults, HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE ValidateItems(DWORD dwCount, OPCITEMDEF *pItemArray, BOOL bBlobUpdate,
                                            OPCITEMRESULT **ppValidationResults,
                                            HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE RemoveItems(DWORD dwCount, OPCHANDLE *phServer,
                                          HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE SetActiveState(DWORD dwCount, OPCHANDLE *phServer, BOOL bActive,
                                             HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD dwCount, OPCHANDLE *phServer,
                                               OPCHANDLE *phClient, HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD dwCount, OPCHANDLE *phServer,
                                           VARTYPE *pRequestedDatatypes,
                                           HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID riid, LPUNKNOWN *ppUnk) override;

    // IOPCGroupStateMgt
    HRESULT STDMETHODCALLTYPE GetState(DWORD *pUpdateRate, BOOL *pActive, LPWSTR *ppName,
                                       LONG *pTimeBias, FLOAT *pPercentDeadband, DWORD *pLCID,
                                       OPCHANDLE *phClientGroup, OPCHANDLE *phServerGroup) override;
    HRESULT STDMETHODCALLTYPE SetState(DWORD *pRequestedUpdateRate, DWORD *pRevisedUpdateRate,
                                       BOOL *pActive, LONG *pTimeBias, FLOAT *pPercentDeadband,
                                       DWORD *pLCID, OPCHANDLE *phClientGroup) override;
    HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) override;
    HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk) override;

    // IOPCSyncIO (GroupIO.cpp)
    HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE *phServer,
                                   OPCITEMSTATE **ppItemValues, HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                                    HRESULT **ppErrors) override;

    // IOPCAsyncIO2 (GroupIO.cpp)
    HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, OPCHANDLE *phServer, DWORD dwTransactionID,
                                   DWORD *pdwCancelID, HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                                    DWORD dwTransactionID, DWORD *pdwCancelID,
                                    HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID,
                                       DWORD *pdwCancelID) override;
    HRESULT STDMETHODCALLTYPE Cancel2(DWORD dwCancelID) override;
    HRESULT STDMETHODCALLTYPE SetEnable(BOOL bEnable) override;
    HRESULT STDMETHODCALLTYPE GetEnable(BOOL *pbEnable) override;

    // IOPCAsyncIO (GroupIO.cpp)
    HRESULT STDMETHODCALLTYPE Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                                   OPCHANDLE *phServer, DWORD *pTransactionID,
                                   HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE *phServer,
                                    VARIANT *pItemValues, DWORD *pTransactionID,
                                    HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE Refresh(DWORD dwConnection, OPCDATASOURCE dwSource,
                                      DWORD *pTransactionID) override;
    HRESULT STDMETHODCALLTYPE Cancel(DWORD dwTransactionID) override;

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) override;

    // IDataObject (DataObject.cpp)
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC *pformatetcIn, STGMEDIUM *pmedium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC *pformatetc, STGMEDIUM *pmedium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC *pformatetc) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC *pformatectIn,
                                                    FORMATETC *pformatetcOut) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC *pformatetc, STGMEDIUM *pmedium,
                                      BOOL fRelease) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dwDirection,
                                            IEnumFORMATETC **ppenumFormatEtc) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC *pformatetc, DWORD advf, IAdviseSink *pAdvSink,
                                      DWORD *pdwConnection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA **ppenumAdvise) override;

    // ConnectionHost (IOPCDataCallback)
    HRESULT STDMETHODCALLTYPE AdviseSink(REFIID iid, IUnknown *sink, DWORD *cookie) override;
    HRESULT STDMETHODCALLTYPE UnadviseSink(REFIID iid, DWORD cookie) override;

  protected:
    bool IsOffered(REFIID riid) override;

  private:
    /// Logs the call and answers a planned failure.
    template <class F> HRESULT Enter(const char *method, F &&args) {
        return core_->Enter(method, std::forward<F>(args));
    }
    HRESULT Enter(const char *method) { return core_->Enter(method); }
    /// Shared body of AddItems and ValidateItems.
    HRESULT CheckItems(bool add, const char *method, DWORD dwCount, OPCITEMDEF *pItemArray,
                       OPCITEMRESULT **ppResults, HRESULT **ppErrors);
    /// Shared body of the per-handle item calls (RemoveItems, SetActiveState ...).
    HRESULT ForEachHandle(const char *method, DWORD dwCount, OPCHANDLE *phServer,
                          HRESULT **ppErrors, const std::function<HRESULT(Item &, DWORD)> &op);
    /// Shared front of the asynchronous calls: checks handles and rights,
    /// submits the job. E_FAIL-free: per-item codes in errors. Caller holds the lock.
    HRESULT QueueItems(Job job, bool write, DWORD dwCount, OPCHANDLE *phServer,
                       VARIANT *pItemValues, const char *method, HRESULT **ppErrors,
                       EarlyWork &early);
    /// Shared body of IOPCAsyncIO2::Read and Write (pItemValues nullptr for a read).
    HRESULT QueueAsync2(bool write, DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                        DWORD dwTransactionID, DWORD *pdwCancelID, HRESULT **ppErrors);

    std::atomic<ULONG> refs_{0};
    platform::ComPtr<IUnknown> server_;
    std::shared_ptr<ServerCore> core_;
    std::shared_ptr<GroupState> group_;
    std::vector<IID> withheld_;
};

} // namespace vexo::sim
