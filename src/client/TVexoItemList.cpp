//===- TVexoItemList.cpp - the list through which items travel -----------===//
//
// This file implements the constructors of TVexoItemList, its per-item error
// report, the presence check of the reads and writes, and the bookkeeping of
// lists built by callbacks (each entry's client handle, so an entry whose item
// was destroyed before the event is raised is dropped, never reached).
//
//===----------------------------------------------------------------------===//
#include <vexo/client/TVexoItemList.h>

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/framework/UIServices.h>

namespace vexo {

namespace {
constexpr OPCHANDLE NoHandle = static_cast<OPCHANDLE>(-1);
constexpr int MaxReportLines = 26;
} // namespace

TVexoItemList::TVexoItemList(const TVexoItems &Items) {
    SetCapacity(Items.Count());
    for (int I = 0; I < Items.Count(); ++I)
        Add(Items.GetItem(I));
}

TVexoItemList::TVexoItemList(TVexoItem *Item) { Add(Item); }

// One header line, then "ItemID-text" for each of the first 26 failed items;
// later failures are counted but not listed.
void TVexoItemList::CheckOPCErrors(const std::string &Header, bool RaiseFlag) const {
    std::string Text = Header + "\r\n";
    int Failed = 0;
    for (int I = 0; I < Count(); ++I) {
        const TVexoItem *Item = GetItem(I);
        const HRESULT Code = Item->LastError();
        if (Code == 0)
            continue;
        if (Failed < MaxReportLines)
            Text += Item->ItemID() + "-" + GetOPCErrorMessage(Code) + "\r\n";
        ++Failed;
    }
    if (Failed == 0)
        return;
    if (RaiseFlag)
        throw EOPCException(Text);
    ShowMessage(Text);
}

void TVexoItemList::CheckAllActiveOnServer() const {
    for (int I = 0; I < Count(); ++I)
        if (GetItem(I)->ServerHandle() == NoHandle)
            throw EOPCException(Format(VexoLoadStr(_STR_NOSERVERHANDLE), {GetItem(I)->ItemID()}));
}

void TVexoItemList::ReserveFromCallback(int Count) {
    SetCapacity(Count);
    FHandles.reserve(static_cast<std::size_t>(Count));
}

// Compacts the list in place, keeping the order of the surviving entries.
void TVexoItemList::DropStaleEntries(const TVexoItems &Items) {
    FHandles.resize(static_cast<std::size_t>(Count()), 0);
    auto Lock = Items.LockForCallback();
    void *const *Entries = Data();
    const int N = Count();
    int Kept = 0;
    for (int I = 0; I < N; ++I) {
        auto *Item = static_cast<TVexoItem *>(Entries[I]);
        const OPCHANDLE Handle = FHandles[static_cast<std::size_t>(I)];
        if (Handle != 0 && Items.ItemFromHandle(Handle) != Item)
            continue;
        if (Kept != I) {
            Put(Kept, Item);
            FHandles[static_cast<std::size_t>(Kept)] = Handle;
        }
        ++Kept;
    }
    while (Count() > Kept)
        Delete(Count() - 1);
    FHandles.resize(static_cast<std::size_t>(Kept));
}

} // namespace vexo
