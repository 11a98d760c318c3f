//===- ServerList.h - the server-list object of one computer --------------===//
//
// This file declares SimServerList, the IOPCServerList object registered under
// CLSID_OPCServerList on every computer where the simulation servers are
// registered. It answers from that computer's registry: classes by component
// category (registry order), their ProgID and user type, and ProgID look-ups.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include <vexo/OPCCOMN.h>
#include <vexo/platform/ComObject.h>

#include "SimHosting.h"

namespace vexo::sim {

class SimServerList final : public platform::ComObject<IOPCServerList> {
  public:
    /// computer: "" for the local one.
    explicit SimServerList(std::string computer);

    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, CATID *rgcatidImpl,
                                                      ULONG cRequired, CATID *rgcatidReq,
                                                      IEnumGUID **ppenumClsid) override;
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR *ppszProgID,
                                              LPOLESTR *ppszUserType) override;
    HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) override;

  private:
    std::string computer_;
    HostReference hostReference_; ///< the server module stays while the object lives
};

} // namespace vexo::sim
