//===- TVexoServerMessages.cpp - callbacks become events on the owner thread -===//
//
// This file implements the server component's private message target and
// the four handlers behind it. Sinks post a message (with a new item list for
// data and write results) from whatever thread the server calls them on; the
// handlers run on the owner thread, drop list entries whose items were
// destroyed after the post, raise the user event and free the list on every
// path. An exception escaping a handler goes to the application's handler.
//
//===----------------------------------------------------------------------===//

#include <cstdint>
#include <memory>

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/client/TVexoItemList.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/framework/Application.h>

namespace vexo {

namespace {

bool CarriesList(UINT Msg) {
    return Msg == CM_OPCDATACHANGE || Msg == CM_OPCWRITEERROR || Msg == CM_OPCWRITECOMPLETE;
}

/// Takes ownership of the list a message carries (nullptr when none).
std::unique_ptr<TVexoItemList> TakeList(const TMessage &Message) {
    return std::unique_ptr<TVexoItemList>(reinterpret_cast<TVexoItemList *>(Message.LParam));
}

} // namespace

HWND TVexoServer::GetHandle() {
    if (FHandle == 0)
        FHandle = AllocateHWnd([this](TMessage &Message) { WndProc(Message); }, &DiscardMessage);
    return FHandle;
}

void TVexoServer::DiscardMessage(TMessage &Message) {
    if (CarriesList(Message.Msg))
        TakeList(Message).reset();
}

void TVexoServer::WndProc(TMessage &Message) {
    try {
        switch (Message.Msg) {
        case CM_OPCSHUTDOWN:
            CMOPCShutDown(Message);
            break;
        case CM_OPCDATACHANGE:
            CMOPCDatachange(Message);
            break;
        case CM_OPCWRITEERROR:
            CMOPCWriteError(Message);
            break;
        case CM_OPCWRITECOMPLETE:
            CMOPCWriteComplete(Message);
            break;
        case CM_OPCCHECKCONNECTION:
            CMOPCCheckConnection(Message);
            break;
        case WM_TIMER:
            WMTimer(Message);
            break;
        default:
            break; // any other message is ignored
        }
    } catch (...) {
        Application->HandleException(this);
    }
}

void TVexoServer::CMOPCShutDown(TMessage &Message) {
    // A request posted by the sink of an earlier connection is stale: that
    // connection is gone already, and the current one must not end by it.
    if (Message.WParam != 0 && (!FActive || Message.WParam != FConnectionNumber))
        return;
    // The server is going away whatever the handler does: a handler that
    // raises still leaves the component disconnected, then its error goes on.
    // A handler that freed the component has disconnected it by doing so.
    const std::weak_ptr<const bool> Alive = FAlive;
    try {
        if (OnServerShutdown)
            OnServerShutdown(this, std::string());
    } catch (...) {
        if (!Alive.expired())
            LoseConnection();
        throw;
    }
    if (!Alive.expired())
        LoseConnection();
}

namespace {

/// The group the list was built for, or nullptr when it no longer exists.
TVexoGroup *FindGroup(TVexoGroups *Groups, long long ID) {
    if (ID < 0 || ID > INT32_MAX)
        return nullptr;
    return static_cast<TVexoGroup *>(Groups->FindItemID(static_cast<int>(ID)));
}

/// Drops entries that no longer reach live items. A list built by a callback
/// whose group is gone has only stale entries.
void DropStale(TVexoGroups *Groups, TVexoItemList &List) {
    if (List.GroupID() < 0)
        return; // built on the owner thread: nothing can have gone stale
    if (TVexoGroup *Group = FindGroup(Groups, List.GroupID()))
        List.DropStaleEntries(*Group->OPCItems());
    else
        List.Clear();
}

} // namespace

void TVexoServer::CMOPCDatachange(TMessage &Message) {
    std::unique_ptr<TVexoItemList> List = TakeList(Message);
    TVexoGroup *Group = FindGroup(FOPCGroups.get(), static_cast<long long>(Message.WParam));
    if (!Group || !OnDatachange || !List)
        return;
    if (List->GroupID() >= 0)
        List->DropStaleEntries(*Group->OPCItems());
    OnDatachange(this, List.get());
}

void TVexoServer::CMOPCWriteError(TMessage &Message) {
    std::unique_ptr<TVexoItemList> List = TakeList(Message);
    if (!List)
        return;
    DropStale(FOPCGroups.get(), *List);
    if (OnWriteError)
        OnWriteError(this, List.get());
    else
        List->CheckOPCErrors(VexoLoadStr(_STR_WRITERROR), true);
}

void TVexoServer::CMOPCWriteComplete(TMessage &Message) {
    std::unique_ptr<TVexoItemList> List = TakeList(Message);
    if (!List)
        return;
    DropStale(FOPCGroups.get(), *List);
    if (OnWriteComplete)
        OnWriteComplete(this, List.get());
}

} // namespace vexo
