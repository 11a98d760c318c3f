//===- ShutdownSink.cpp - the IOPCShutdown sink of a server component --------===//
//
// This file implements TVexoShutdownEvent. The server calls ShutdownRequest
// on a thread of its own; the sink only posts CM_OPCSHUTDOWN to the message
// target it captured on the owner thread and answers S_OK. The component
// detaches the sink when it disconnects or is destroyed; a detached sink
// posts nothing, so a late request never reaches a destroyed component.
//
//===----------------------------------------------------------------------===//

#include <vexo/client/TVexoServer.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/framework/Messages.h>

namespace vexo {

using platform::ComPtr;

TVexoShutdownEvent::TVexoShutdownEvent(TVexoServer *AOwner)
    : FOwner(AOwner), FTarget(AOwner ? AOwner->GetHandle() : 0),
      FConnection(AOwner ? AOwner->FConnectionNumber : 0) {}

ComPtr<TVexoShutdownEvent> TVexoShutdownEvent::Create(TVexoServer *AOwner) {
    ComPtr<TVexoShutdownEvent> Sink = platform::MakeCom<TVexoShutdownEvent>(AOwner);
    if (AOwner && AOwner->FServerIF)
        Sink->FAdviseResult = AdviseConnectionPoint(AOwner->FServerIF.Get(), IID_IOPCShutdown,
                                                    Sink->GetUnknown(), Sink->FCookie);
    return Sink;
}

TVexoShutdownEvent::~TVexoShutdownEvent() {
    // The owner detaches (and unregisters) the sink before it lets it go; a
    // sink released while still attached unregisters through the owner's
    // current connection, which is empty once the owner has disconnected.
    if (FOwner && FAdviseResult == S_OK && FOwner->FServerIF)
        UnadviseConnectionPoint(FOwner->FServerIF.Get(), IID_IOPCShutdown, FCookie);
}

HRESULT TVexoShutdownEvent::ShutdownRequest(LPCWSTR) {
    try {
        std::lock_guard Lock(FGate);
        if (FOwner && FTarget != 0)
            PostMessage(FTarget, CM_OPCSHUTDOWN, FConnection, 0);
    } catch (...) {
        // Nothing may cross back into the server.
    }
    return S_OK;
}

void TVexoShutdownEvent::Detach() {
    std::lock_guard Lock(FGate);
    FOwner = nullptr;
    FTarget = 0;
}

} // namespace vexo
