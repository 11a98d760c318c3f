//===- ConnectionPoint.h - one connection point of a server or group ------===//
//
// This file defines ConnectionHost, what an object with connection points
// implements to store and drop sinks, and ConnectionPoint, the IConnectionPoint
// object that FindConnectionPoint hands out. The point holds a counted
// reference to its container, so the host outlives it; the sinks live in the
// host, not in the point.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/platform/ComInterfaces.h>
#include <vexo/platform/ComObject.h>

namespace vexo::sim {

class ConnectionHost {
  public:
    /// Stores sink (already queried for the point's interface by the host).
    virtual HRESULT STDMETHODCALLTYPE AdviseSink(REFIID iid, IUnknown *sink, DWORD *cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnadviseSink(REFIID iid, DWORD cookie) = 0;

  protected:
    ~ConnectionHost() = default;
};

class ConnectionPoint final : public platform::ComObject<IConnectionPoint> {
  public:
    ConnectionPoint(const IID &iid, IConnectionPointContainer *container, ConnectionHost *host);
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID *pIID) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer **ppCPC) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown *pUnkSink, DWORD *pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections **ppEnum) override;

  private:
    IID iid_;
    platform::ComPtr<IConnectionPointContainer> container_;
    ConnectionHost *host_;
};

} // namespace vexo::sim
