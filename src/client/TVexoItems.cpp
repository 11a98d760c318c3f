//===- TVexoItems.cpp - the item collection, its handles and its batches --===//
//
// This file implements TVexoItems: adding and finding items, the table of
// 32-bit client handles through which callbacks reach items in constant time,
// and the batch operations that add, validate, remove, activate and retype
// any number of items with one call of the group's IOPCItemMgt. Every array a
// batch sends or receives is task memory owned by a guard, so it is released
// on every path, also when the server call fails.
//
//===----------------------------------------------------------------------===//
#include <vexo/client/TVexoItem.h>

#include <cstring>
#include <exception>
#include <new>

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItemList.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

namespace vexo {

namespace {

constexpr OPCHANDLE NoHandle = static_cast<OPCHANDLE>(-1);

// Client handle layout: low 22 bits slot index, high 10 bits generation. The
// generation runs 1..1023, so 0 is never a handle; the last slot index is not
// used, so -1 is never one either.
constexpr unsigned IndexBits = TVexoItems::HandleIndexBits;
constexpr std::uint32_t IndexMask = (1u << IndexBits) - 1;
constexpr std::uint32_t MaxSlots = IndexMask; // index IndexMask stays unused
constexpr std::uint32_t MaxGeneration = (1u << (32 - IndexBits)) - 1;

/// Asks TaskArray for elements left as they are.
constexpr struct UnsetTag {
} Unset{};

/// One task-memory block, freed when the guard goes.
template <class T> class TaskArray {
  public:
    TaskArray() = default;
    /// Count zeroed elements.
    explicit TaskArray(std::size_t Count) : TaskArray(Count, Unset) {
        if (FData)
            std::memset(static_cast<void *>(FData), 0, Count * sizeof(T));
    }
    /// Count elements that the caller fills in whole: a large array is not
    /// written twice.
    TaskArray(std::size_t Count, UnsetTag) {
        if (Count == 0)
            return;
        FData = static_cast<T *>(platform::CoTaskMemAlloc(Count * sizeof(T)));
        if (!FData)
            throw std::bad_alloc();
    }
    ~TaskArray() { platform::CoTaskMemFree(FData); }
    TaskArray(const TaskArray &) = delete;
    TaskArray &operator=(const TaskArray &) = delete;
    T *Get() const { return FData; }
    T **Out() { return &FData; } ///< for an array the server allocates
    T &operator[](std::size_t I) const { return FData[I]; }
    explicit operator bool() const { return FData != nullptr; }

  private:
    T *FData = nullptr;
};

/// The OPCITEMRESULT array a server returns, with the blob of every entry.
class ResultArray : public TaskArray<OPCITEMRESULT> {
  public:
    explicit ResultArray(DWORD Count) : FCount(Count) {}
    ~ResultArray() {
        if (*this)
            for (DWORD I = 0; I < FCount; ++I)
                platform::CoTaskMemFree((*this)[I].pBlob);
    }

  private:
    DWORD FCount;
};

/// Appends S as zero-terminated UTF-16 at Out; returns the next free place.
/// The bytes are copied as ASCII in one pass that also notes whether any was
/// not; such a text is converted again by the platform's converter over the
/// same place. Out has room for S.size() + 1 characters (UTF-16 never needs
/// more units than UTF-8 bytes).
WCHAR *PutWide(WCHAR *Out, const std::string &S) {
    const std::size_t N = S.size();
    const char *In = S.data();
    unsigned char Seen = 0;
    for (std::size_t I = 0; I < N; ++I) {
        const auto C = static_cast<unsigned char>(In[I]);
        Seen |= C;
        Out[I] = static_cast<WCHAR>(C);
    }
    if (Seen < 0x80) {
        Out += N;
    } else {
        const platform::WideString W = platform::Utf8ToUtf16(S);
        std::memcpy(Out, W.data(), W.size() * sizeof(WCHAR));
        Out += W.size();
    }
    *Out++ = 0;
    return Out;
}

/// The item definitions of a list. All item ids and access paths share one
/// task-memory block, so building 100,000 definitions costs two allocations.
class ItemDefs {
  public:
    explicit ItemDefs(const TVexoItemList &List)
        : FDefs(static_cast<std::size_t>(List.Count()), Unset), FText(TextSize(List), Unset) {
        const int N = List.Count();
        WCHAR *Out = FText.Get();
        for (int I = 0; I < N; ++I) {
            const TVexoItem *Item = List.GetItem(I);
            OPCITEMDEF &D = FDefs[static_cast<std::size_t>(I)];
            D = OPCITEMDEF{};
            D.szAccessPath = Out;
            Out = PutWide(Out, Item->AccessPath());
            D.szItemID = Out;
            Out = PutWide(Out, Item->ItemID());
            D.bActive = Item->IsActive() ? -1 : 0;
            D.hClient = Item->GetClientHandle();
            D.vtRequestedDataType = static_cast<VARTYPE>(Item->RequestDatatype());
        }
    }
    OPCITEMDEF *Get() const { return FDefs.Get(); }

  private:
    static std::size_t TextSize(const TVexoItemList &List) {
        std::size_t Chars = 0;
        for (int I = 0; I < List.Count(); ++I) {
            const TVexoItem *Item = List.GetItem(I);
            Chars += Item->ItemID().size() + Item->AccessPath().size() + 2;
        }
        return Chars;
    }

    TaskArray<OPCITEMDEF> FDefs;
    TaskArray<WCHAR> FText;
};

/// The server handles of a list, in list order.
void FillServerHandles(const TVexoItemList &List, TaskArray<OPCHANDLE> &Handles) {
    for (int I = 0; I < List.Count(); ++I)
        Handles[static_cast<std::size_t>(I)] = List.GetItem(I)->ServerHandle();
}

bool IsDesigning(const TVexoGroup *Group) {
    return Group && Group->OPCServer() && Group->OPCServer()->IsDesigning();
}

bool IsEmpty(const TVexoItemList *List) { return !List || List->Count() == 0; }

/// The common frame of the operations on items that are on the server:
/// nothing while designing or for an empty list; every listed item must be on
/// the server (raises otherwise, before anything is sent); the group's
/// IOPCItemMgt, or nullptr when the operation is to answer false.
IOPCItemMgt *ItemMgtForListedItems(const TVexoGroup *Group, const TVexoItemList *List) {
    if (IsDesigning(Group) || IsEmpty(List))
        return nullptr;
    List->CheckAllActiveOnServer();
    return Group->ItemMgt();
}

/// Every listed item must be local; the first that is not is named.
void CheckAllLocal(const TVexoItemList &List) {
    for (int I = 0; I < List.Count(); ++I)
        if (List.GetItem(I)->ServerHandle() != NoHandle)
            throw EOPCException(
                Format(VexoLoadStr(_STR_HASSERVERHANDLE), {List.GetItem(I)->ItemID()}));
}

/// Stores the per-item codes of a checked call; a missing error array after a
/// successful call means every item shared the call's result. S_FALSE says
/// some item failed, so without the array to say which, none counts as done.
bool StoreCodes(const TVexoItemList &List, const HRESULT *Errors, HRESULT CallResult,
                void (*OnSuccess)(TVexoItem &, bool), bool Arg) {
    bool AllOk = true;
    const HRESULT Shared = CallResult == S_FALSE ? E_FAIL : CallResult;
    for (int I = 0; I < List.Count(); ++I) {
        TVexoItem &Item = *List.GetItem(I);
        const HRESULT Code = Errors ? Errors[I] : Shared;
        if (SUCCEEDED(Code)) {
            if (OnSuccess)
                OnSuccess(Item, Arg);
            Item.SetLastError(0);
        } else {
            Item.SetLastError(Code);
            AllOk = false;
        }
    }
    return AllOk;
}

} // namespace

// --- Collection --------------------------------------------------------------------

TVexoItems::TVexoItems(TVexoGroup *Group)
    : TCollection([](TCollection *C) -> TCollectionItem * { return new TVexoItem(C); }),
      FGroup(Group) {}

// The items are freed here, while the handle table still exists.
TVexoItems::~TVexoItems() { Clear(); }

TPersistent *TVexoItems::GetOwner() const { return FGroup; }

TVexoItem *TVexoItems::AddItem(const std::string &ItemID) {
    auto *Item = static_cast<TVexoItem *>(Add());
    Item->SetItemID(ItemID);
    Item->OPCCommand(1);
    return Item;
}

TVexoItem *TVexoItems::GetItem(int Index) const {
    return static_cast<TVexoItem *>(TCollection::GetItem(Index));
}

// Copies the settings of Item into the item at Index (through the setters, so
// the usual rules apply); the delivered fields are not copied.
void TVexoItems::SetItem(int Index, TVexoItem *Item) {
    TVexoItem *Target = GetItem(Index);
    if (!Item || Item == Target)
        return;
    Target->SetItemID(Item->ItemID());
    Target->SetAccessPath(Item->AccessPath());
    Target->SetIsActive(Item->IsActive());
    Target->SetRequestDatatype(Item->RequestDatatype());
}

TVexoItem *TVexoItems::GetOPCItem(OPCHANDLE Handle) const {
    for (int I = 0; I < Count(); ++I)
        if (GetItem(I)->ServerHandle() == Handle)
            return GetItem(I);
    return nullptr;
}

void TVexoItems::RemoveAll() {
    OPCRemoveAllItems();
    Clear();
}

// --- Client handles --------------------------------------------------------------------

OPCHANDLE TVexoItems::AllocateHandle(TVexoItem *Item) {
    std::lock_guard<std::mutex> Lock(FHandleLock);
    std::uint32_t Index;
    std::uint32_t Generation = 1;
    if (!FFreeSlots.empty()) {
        Index = FFreeSlots.back().Index;
        Generation = FFreeSlots.back().Generation;
        FFreeSlots.pop_back();
    } else {
        if (FSlots.size() >= MaxSlots)
            throw EOPCException("too many items in one group");
        Index = static_cast<std::uint32_t>(FSlots.size());
        FSlots.push_back(nullptr);
    }
    // The handle is stored under the lock: a callback on another thread may
    // resolve this slot as soon as it is filled.
    FSlots[Index] = Item;
    Item->FClientHandle = (Generation << IndexBits) | Index;
    return Item->FClientHandle;
}

void TVexoItems::ReleaseHandle(OPCHANDLE Handle) {
    std::lock_guard<std::mutex> Lock(FHandleLock);
    const std::uint32_t Index = Handle & IndexMask;
    if (Index >= FSlots.size() || !FSlots[Index] || FSlots[Index]->FClientHandle != Handle)
        return;
    FSlots[Index] = nullptr;
    const std::uint32_t Generation = Handle >> IndexBits;
    FFreeSlots.push_back({Index, Generation == MaxGeneration ? 1 : Generation + 1});
}

// --- Batch operations ----------------------------------------------------------------------

bool TVexoItems::OPCAddItems(TVexoItemList *List, bool AddFlag) {
    if (AddFlag && IsDesigning(FGroup))
        return false;
    if (IsEmpty(List))
        return false;
    CheckAllLocal(*List);
    IOPCItemMgt *Mgt = FGroup->ItemMgt();
    if (!Mgt)
        return false;

    const DWORD N = static_cast<DWORD>(List->Count());
    ItemDefs Defs(*List);
    ResultArray Results(N);
    TaskArray<HRESULT> Errors;
    const HRESULT Hr = AddFlag
                           ? Mgt->AddItems(N, Defs.Get(), Results.Out(), Errors.Out())
                           : Mgt->ValidateItems(N, Defs.Get(), FALSE, Results.Out(), Errors.Out());
    OPCCheck(Hr);

    bool AllOk = true;
    for (DWORD I = 0; I < N; ++I) {
        TVexoItem &Item = *List->GetItem(static_cast<int>(I));
        // A server that answers success without its arrays has told nothing
        // about the items: they count as failed, not as added.
        const HRESULT Code = (Results && Errors) ? Errors[I] : E_FAIL;
        if (FAILED(Code)) {
            Item.SetLastError(Code);
            AllOk = false;
            continue;
        }
        const OPCITEMRESULT &R = Results[I];
        if (AddFlag)
            Item.SetServerHandle(R.hServer);
        Item.SetCanonicalDatatype(R.vtCanonicalDataType);
        Item.SetAccessRights(R.dwAccessRights);
        Item.SetLastError(0);
    }
    return AllOk;
}

bool TVexoItems::OPCValidateItems(TVexoItemList *List) { return OPCAddItems(List, false); }

bool TVexoItems::OPCRemoveItems(TVexoItemList *List) {
    IOPCItemMgt *Mgt = ItemMgtForListedItems(FGroup, List);
    if (!Mgt)
        return false;

    const DWORD N = static_cast<DWORD>(List->Count());
    TaskArray<OPCHANDLE> Handles(N, Unset);
    FillServerHandles(*List, Handles);
    TaskArray<HRESULT> Errors;
    const HRESULT Hr = Mgt->RemoveItems(N, Handles.Get(), Errors.Out());

    // Not checked: the item is off the server whatever the server answered,
    // and without an error array the call's result stands for every item;
    // S_FALSE says some item failed, so (as for the other batches) none
    // counts as removed cleanly.
    const HRESULT Shared = Hr == S_FALSE ? E_FAIL : Hr;
    bool AllOk = true;
    for (DWORD I = 0; I < N; ++I) {
        TVexoItem &Item = *List->GetItem(static_cast<int>(I));
        const HRESULT Code = Errors ? Errors[I] : Shared;
        Item.SetServerHandle(NoHandle);
        Item.SetLastError(SUCCEEDED(Code) ? 0 : Code);
        AllOk = AllOk && SUCCEEDED(Code);
    }
    return AllOk;
}

bool TVexoItems::OPCActiveItems(TVexoItemList *List, bool Active) {
    IOPCItemMgt *Mgt = ItemMgtForListedItems(FGroup, List);
    if (!Mgt)
        return false;

    const DWORD N = static_cast<DWORD>(List->Count());
    TaskArray<OPCHANDLE> Handles(N, Unset);
    FillServerHandles(*List, Handles);
    TaskArray<HRESULT> Errors;
    const HRESULT Hr = Mgt->SetActiveState(N, Handles.Get(), Active ? -1 : 0, Errors.Out());
    OPCCheck(Hr);
    return StoreCodes(
        *List, Errors.Get(), Hr, [](TVexoItem &Item, bool A) { Item.SetIsActiveField(A); }, Active);
}

bool TVexoItems::OPCSetDataTypes(TVexoItemList *List) {
    IOPCItemMgt *Mgt = ItemMgtForListedItems(FGroup, List);
    if (!Mgt)
        return false;

    const DWORD N = static_cast<DWORD>(List->Count());
    TaskArray<OPCHANDLE> Handles(N, Unset);
    FillServerHandles(*List, Handles);
    TaskArray<VARTYPE> Types(N, Unset);
    for (DWORD I = 0; I < N; ++I)
        Types[I] = static_cast<VARTYPE>(List->GetItem(static_cast<int>(I))->RequestDatatype());
    TaskArray<HRESULT> Errors;
    const HRESULT Hr = Mgt->SetDatatypes(N, Handles.Get(), Types.Get(), Errors.Out());
    OPCCheck(Hr);
    return StoreCodes(*List, Errors.Get(), Hr, nullptr, false);
}

void TVexoItems::OPCAddAllItems() {
    TVexoItemList List;
    List.SetCapacity(Count());
    for (int I = 0; I < Count(); ++I)
        if (GetItem(I)->ServerHandle() == NoHandle)
            List.AddItem(GetItem(I));
    std::exception_ptr Pending;
    try {
        if (IsDesigning(FGroup))
            OPCValidateItems(&List);
        else
            OPCAddItems(&List, true);
    } catch (...) {
        Pending = std::current_exception();
    }
    List.CheckOPCErrors(VexoLoadStr(_STR_ADDITEMSERROR), false);
    if (Pending)
        std::rethrow_exception(Pending);
}

void TVexoItems::OPCRemoveAllItems() {
    TVexoItemList List;
    for (int I = 0; I < Count(); ++I)
        if (GetItem(I)->ServerHandle() != NoHandle)
            List.AddItem(GetItem(I));
    OPCRemoveItems(&List);
}

} // namespace vexo
