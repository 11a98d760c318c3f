//===- ServerObject.h - the simulation OPC server object ------------------===//
//
// This file declares SimServer, the COM object a client creates: IOPCServer,
// IOPCCommon, IConnectionPointContainer (IOPCShutdown), the address-space
// browser, item properties and the test control. The DA 1.0 class is the same
// object refusing the DA 2.0 interfaces. Its shared state lives in a
// ServerCore; releasing the last reference stops the scan thread.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <string>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/ComObject.h>
#include <vexo/platform/WideString.h>

#include "ConnectionPoint.h"
#include "ServerCore.h"

namespace vexo::sim {

class SimServer final
    : public platform::ComObject<IOPCServer, IOPCCommon, IConnectionPointContainer,
                                 IOPCBrowseServerAddressSpace, IOPCItemProperties, IVexoSimControl>,
      public ConnectionHost {
  public:
    /// Creates a server object with its scan thread running, in the current
    /// life of process (none: it never goes offline).
    static platform::ComPtr<SimServer> Create(bool da10,
                                              std::shared_ptr<SimProcess> process = nullptr);
    ~SimServer() override;

    const std::shared_ptr<ServerCore> &Core() const { return core_; }

    // IOPCServer
    HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                     OPCHANDLE hClientGroup, LONG *pTimeBias, FLOAT *pPercentDeadband, DWORD dwLCID,
                     OPCHANDLE *phServerGroup, DWORD *pRevisedUpdateRate, REFIID riid,
                     LPUNKNOWN *ppUnk) override;
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR *ppString) override;
    HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk) override;
    HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS **ppServerStatus) override;
    HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) override;
    HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN *ppUnk) override;

    // IOPCCommon
    HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) override;
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID *pdwLcid) override;
    HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD *pdwCount, LCID **pdwLcid) override;
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR *ppString) override;
    HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) override;

    // IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) override;

    // IOPCBrowseServerAddressSpace (ServerBrowse.cpp)
    HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE *pNameSpaceType) override;
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection, LPCWSTR szString) override;
    HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                             VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                             LPENUMSTRING *ppIEnumString) override;
    HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR *szItemID) override;
    HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR szItemID, LPENUMSTRING *ppIEnumString) override;

    // IOPCItemProperties (ServerProperties.cpp)
    HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD *pdwCount, DWORD **ppPropertyIDs,
                                     LPWSTR **ppDescriptions, VARTYPE **ppvtDataTypes) override;
    HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD *pdwPropertyIDs,
                              VARIANT **ppvData, HRESULT **ppErrors) override;
    HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD *pdwPropertyIDs,
                          LPWSTR **ppszNewItemIDs, HRESULT **ppErrors) override;

    // IVexoSimControl (SimControl.cpp)
    HRESULT STDMETHODCALLTYPE FailNextCall(LPCWSTR szMethod, HRESULT hr) override;
    HRESULT STDMETHODCALLTYPE SetNextItemErrors(LPCWSTR szMethod, DWORD dwCount, const HRESULT *pErrors) override;
    HRESULT STDMETHODCALLTYPE SetRateGranularity(DWORD dwMs) override;
    HRESULT STDMETHODCALLTYPE SetDistinctCancelIds(BOOL bDistinct) override;
    HRESULT STDMETHODCALLTYPE SetStatus(const OPCSERVERSTATUS *pStatus) override;
    HRESULT STDMETHODCALLTYPE SendShutdown(LPCWSTR szReason, BOOL bFromScanThread) override;
    HRESULT STDMETHODCALLTYPE WithholdInterface(VexoSimTarget target, REFIID riid, BOOL bWithhold) override;
    HRESULT STDMETHODCALLTYPE SetManualMode(BOOL bManual) override;
    HRESULT STDMETHODCALLTYPE RunScan(DWORD dwAdvanceMs) override;
    HRESULT STDMETHODCALLTYPE SetForceChange(BOOL bForce) override;
    HRESULT STDMETHODCALLTYPE SetTagValue(LPCWSTR szItemID, const VARIANT *pValue, WORD wQuality) override;
    HRESULT STDMETHODCALLTYPE GetCallLog(LPWSTR *ppText) override;
    HRESULT STDMETHODCALLTYPE ClearCallLog() override;
    HRESULT STDMETHODCALLTYPE EnableCallLog(BOOL bEnable) override;
    HRESULT STDMETHODCALLTYPE GetClock(ULONGLONG *pMs) override;
    HRESULT STDMETHODCALLTYPE SetCompletionMode(VexoSimCompletion mode) override;
    HRESULT STDMETHODCALLTYPE SetOffline(BOOL bOffline, HRESULT hrLost) override;
    HRESULT STDMETHODCALLTYPE SetStreamLayout(DWORD dwPointerBits) override;
    HRESULT STDMETHODCALLTYPE GetTaskMemoryBlocks(LONGLONG *pBlocks) override;

    // ConnectionHost (IOPCShutdown)
    HRESULT STDMETHODCALLTYPE AdviseSink(REFIID iid, IUnknown *sink, DWORD *cookie) override;
    HRESULT STDMETHODCALLTYPE UnadviseSink(REFIID iid, DWORD cookie) override;

  protected:
    bool IsOffered(REFIID riid) override;

  public:
    /// Use Create; public only for MakeCom.
    explicit SimServer(bool da10);

  private:
    /// Makes a group object for state g and queries riid on it.
    HRESULT WrapGroup(const std::shared_ptr<GroupState> &g, std::vector<IID> withheld,
                      REFIID riid, LPUNKNOWN *ppUnk);
    /// The tag for a property call: OPC_E_INVALIDITEMID / OPC_E_UNKNOWNITEMID.
    HRESULT FindTag(LPCWSTR id, Tag *&tag);

    std::shared_ptr<ServerCore> core_;
};

/// The text of an error code for GetErrorString (OPC codes and system codes).
vexo::platform::WideString ErrorText(HRESULT hr);

} // namespace vexo::sim
