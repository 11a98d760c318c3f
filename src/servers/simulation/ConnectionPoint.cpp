//===- ConnectionPoint.cpp - one connection point of a server or group ----===//
#include "ConnectionPoint.h"

#include "ComHelpers.h"

namespace vexo::sim {

ConnectionPoint::ConnectionPoint(const IID &iid, IConnectionPointContainer *container,
                                 ConnectionHost *host)
    : iid_(iid), container_(container), host_(host) {}

HRESULT ConnectionPoint::GetConnectionInterface(IID *pIID) {
    if (!pIID)
        return E_POINTER;
    *pIID = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer **ppCPC) {
    if (!ppCPC)
        return E_POINTER;
    *ppCPC = platform::ComPtr<IConnectionPointContainer>(container_).Detach();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown *pUnkSink, DWORD *pdwCookie) {
    return Guard([&] {
        if (!pdwCookie)
            return E_POINTER;
        *pdwCookie = 0;
        if (!pUnkSink)
            return E_POINTER;
        return host_->AdviseSink(iid_, pUnkSink, pdwCookie);
    });
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
    return Guard([&] { return host_->UnadviseSink(iid_, dwCookie); });
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections **ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    return E_NOTIMPL;
}

} // namespace vexo::sim
