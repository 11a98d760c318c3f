//===- ConnectionPoints.cpp - registering sinks at a server's connection point -===//
//
// This file implements AdviseConnectionPoint and UnadviseConnectionPoint,
// which the shutdown sink and the group data sinks use to register with a
// server. Both answer an HRESULT and never raise: a server without a
// container or without the requested point gives E_FAIL.
//
//===----------------------------------------------------------------------===//

#include <vexo/client/VexoSinks.h>
#include <vexo/platform/ComInterfaces.h>

namespace vexo {

using platform::ComPtr;

namespace {

/// The server's connection point for Iid, or empty when it has none (an empty
/// server, a refused query, or a query that raised all mean none).
ComPtr<IConnectionPoint> FindPoint(IUnknown *Server, const IID &Iid) noexcept {
    if (!Server)
        return nullptr;
    try {
        ComPtr<IConnectionPointContainer> Container;
        if (FAILED(Server->QueryInterface(IID_IConnectionPointContainer, Container.PutVoid())) ||
            !Container)
            return nullptr;
        ComPtr<IConnectionPoint> Point;
        if (FAILED(Container->FindConnectionPoint(Iid, Point.ReleaseAndGetAddressOf())))
            return nullptr;
        return Point;
    } catch (...) {
        return nullptr;
    }
}

} // namespace

HRESULT AdviseConnectionPoint(IUnknown *Server, const IID &IID, IUnknown *Sink, DWORD &Cookie) {
    // The server reference is held for the duration of the call. The sink is
    // not: the caller holds it, and a counted hold here would free a sink that
    // is still being constructed (count 0) when the server refuses it.
    ComPtr<IUnknown> HoldServer(Server);
    ComPtr<IConnectionPoint> Point = FindPoint(Server, IID);
    if (!Point)
        return E_FAIL;
    try {
        return Point->Advise(Sink, &Cookie);
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT UnadviseConnectionPoint(IUnknown *Server, const IID &IID, DWORD Cookie) {
    ComPtr<IUnknown> HoldServer(Server);
    ComPtr<IConnectionPoint> Point = FindPoint(Server, IID);
    if (!Point)
        return E_FAIL;
    try {
        return Point->Unadvise(Cookie);
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace vexo
