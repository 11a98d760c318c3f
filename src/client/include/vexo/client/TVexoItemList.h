//===- TVexoItemList.h - the list through which items travel -------------===//
//
// TVexoItemList is the argument of every batch operation, read and write and
// of every data, write-complete and write-error event. It lists items in
// insertion order (the same item may appear twice) and never owns them.
// A list built by a callback also remembers each entry's client handle and
// its group's ID, so that an entry whose item was destroyed before the event
// is delivered can be dropped instead of reaching freed memory.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <vector>

#include <vexo/client/VexoTypes.h>
#include <vexo/framework/Lists.h>

namespace vexo {

class TVexoItemList : public TList {
  public:
    /// An empty list.
    TVexoItemList() = default;
    /// Every item of the collection, in collection order.
    explicit TVexoItemList(const TVexoItems &Items);
    /// A list holding exactly Item.
    explicit TVexoItemList(TVexoItem *Item);
    std::string ClassName() const override { return "TVexoItemList"; }

    /// The entry at Index; EListError on a bad index.
    TVexoItem *GetItem(int Index) const { return static_cast<TVexoItem *>(Get(Index)); }
    void PutItem(int Index, TVexoItem *Item) { Put(Index, Item); }
    int AddItem(TVexoItem *Item) { return Add(Item); }

    /// Reports the entries whose LastError is not 0 under Header (at most 26
    /// lines): raises EOPCException when RaiseFlag, else shows a message box.
    void CheckOPCErrors(const std::string &Header, bool RaiseFlag) const;
    /// EOPCException "item %s not exists on OPCServer" for the first entry
    /// that is not on the server.
    void CheckAllActiveOnServer() const;

    // --- Lists built by callbacks ------------------------------------------
    /// Makes room for Count entries added by AddFromCallback.
    void ReserveFromCallback(int Count);
    /// Appends Item reached through Handle (callback threads).
    void AddFromCallback(TVexoItem *Item, OPCHANDLE Handle) {
        // Entries added otherwise have no handle; they are kept as they are.
        if (FHandles.size() != static_cast<std::size_t>(Count()))
            FHandles.resize(static_cast<std::size_t>(Count()), 0);
        Add(Item);
        FHandles.push_back(Handle);
    }
    void SetGroupID(int ID) { FGroupID = ID; }
    int GroupID() const { return FGroupID; }
    /// Drops the entries whose handle no longer reaches the same item of Items
    /// (owner thread, before the event is raised).
    void DropStaleEntries(const TVexoItems &Items);

  private:
    std::vector<OPCHANDLE> FHandles; // parallel to the entries for callback lists
    int FGroupID = -1;
};

} // namespace vexo
