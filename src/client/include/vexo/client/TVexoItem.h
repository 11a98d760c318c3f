//===- TVexoItem.h - items, their collection and their defaults ----------===//
//
// An item is one data point of a server inside one group. Its settings
// (ItemID, AccessPath, IsActive, RequestDatatype) are owner-thread fields;
// the results of reads and callbacks (Value, Quality, TimeStamp, LastError)
// are written by the server's callback threads too and are guarded so that a
// reader sees either the old or the new value, never a torn one.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <vexo/client/VexoTypes.h>
#include <vexo/foundation/Conversions.h>
#include <vexo/framework/Collections.h>
#include <vexo/framework/Variants.h>

namespace vexo {

/// Defaults for new items of one group.
class TVexoDefaultItem : public TPersistent {
  public:
    std::string ClassName() const override { return "TVexoDefaultItem"; }
    const PropertyTable *GetPropertyTable() const override;
    bool IsActive = true;
    std::string AccessPath;
    OPCADatatype RequestDataType = vtEMPTY;
};

/// The values a read or a callback delivers for one item, read in one piece.
struct TVexoItemValue {
    OleVariant Value;
    std::int32_t Quality = 0;
    TDateTime TimeStamp = 0;
    HRESULT LastError = 0;
};

class TVexoItem : public TCollectionItem {
  public:
    /// Joins Collection (a TVexoItems) with the group's item defaults and a
    /// fresh client handle.
    explicit TVexoItem(TCollection *Collection);
    /// LastError := 0, removes the item from the server (command 0), leaves.
    /// A failure of that removal goes to Application->HandleException.
    ~TVexoItem() override;
    std::string ClassName() const override { return "TVexoItem"; }
    const PropertyTable *GetPropertyTable() const override;
    std::string GetDisplayName() const override;

    // --- Published properties --------------------------------------------
    const std::string &ItemID() const { return FItemID; }
    void SetItemID(const std::string &Value);
    /// Empty unless one was set (most items have none).
    const std::string &AccessPath() const;
    void SetAccessPath(const std::string &Value);
    bool IsActive() const { return FIsActive; }
    void SetIsActive(bool Value);
    OPCADatatype RequestDatatype() const { return FRequestDatatype; }
    void SetRequestDatatype(OPCADatatype Value);
    /// Guarded copies of the delivered fields (any thread).
    OleVariant Value() const;
    std::int32_t Quality() const;
    TDateTime TimeStamp() const;
    std::int32_t CanonicalDatatype() const { return FCanonicalDatatype; }
    std::int32_t EUType() const { return FEUType; }
    /// Engineering-unit information; no operation fills it, so it is empty.
    OleVariant EUInfo() const { return OleVariant(); }

    // --- Public ----------------------------------------------------------
    TVexoGroup *Group() const { return FGroup; }
    OPCHANDLE ServerHandle() const { return FServerHandle; }
    std::uint32_t AccessRights() const { return FAccessRights; }
    HRESULT LastError() const;
    void *UIReference() const { return FRare ? FRare->UIReference : nullptr; }
    void SetUIReference(void *Value) { Rare().UIReference = Value; }
    /// The value the next write sends (empty until one is set).
    const OleVariant &WriteValue() const;
    /// Sets what the next write of this item sends, so that the group's
    /// SyncWrite/AsyncWrite can write new values to many items in one call.
    void SetWriteValue(const OleVariant &Value) { Rare().WriteValue = Value; }
    /// All delivered fields in one consistent piece (any thread).
    TVexoItemValue Snapshot() const;

    /// The 32-bit client handle the server gives back in callbacks.
    OPCHANDLE GetClientHandle() const { return FClientHandle; }
    /// Runs one item command (0 remove, 1 add, 2 active state, 3 validate,
    /// 4 data type) unless BatchMode, not Active or loading; reports "OPC Command:".
    void OPCCommand(int Command, bool Value = false);
    std::string GetLastErrorStr() const;
    std::string ValueStr() const;
    bool IsGoodQuality() const;
    void WriteSync(const OleVariant &Value);
    void WriteAsync(const OleVariant &Value);

    // --- Writers used by the batch operations, reads and sinks ------------
    void SetServerHandle(OPCHANDLE Value) { FServerHandle = Value; }
    void SetCanonicalDatatype(std::int32_t Value) { FCanonicalDatatype = Value; }
    void SetAccessRights(std::uint32_t Value) { FAccessRights = Value; }
    void SetIsActiveField(bool Value) { FIsActive = Value; }
    /// Guarded stores (any thread).
    void SetLastError(HRESULT Value);
    void SetQuality(std::int32_t Value);
    /// Stores a delivered value; Value is copied (callbacks keep theirs).
    void StoreValue(const VARIANT &Value, std::int32_t Quality, TDateTime TimeStamp, HRESULT Error);
    /// Stores value, quality and time stamp and leaves LastError alone (DA 1.0).
    void StoreValueKeepError(const VARIANT &Value, std::int32_t Quality, TDateTime TimeStamp,
                             bool SetTimeStamp);
    void SetFailed(HRESULT Error); ///< Quality := 0, LastError := Error

  private:
    friend class TVexoItems;
    class SpinGuard;
    /// Raises "cannot write Items:" for a one-item write that answered false.
    [[noreturn]] void ReportWriteFailure(const TVexoItemList &List) const;
    /// Moves a value that owns memory from Copy into a new Box (Copy is left
    /// empty); a plain value stays in Copy. Outside the lock.
    static void BoxOwnedValue(OleVariant &Copy, std::shared_ptr<const OleVariant> &Box);
    mutable std::atomic_flag FLock = ATOMIC_FLAG_INIT; // guards the four delivered fields
    bool FIsActive = true;
    OPCADatatype FRequestDatatype = vtEMPTY;
    std::int32_t FEUType = 0;
    std::int32_t FCanonicalDatatype = 0;
    OPCHANDLE FServerHandle = static_cast<OPCHANDLE>(-1);
    OPCHANDLE FClientHandle = 0;
    std::uint32_t FAccessRights = 0;
    std::int32_t FQuality = 0;
    HRESULT FLastError = 0;
    TDateTime FTimeStamp = 0;
    /// The value: plain values here; one that owns memory (a string, an
    /// array) in FBoxedValue, with FValue then empty.
    OleVariant FValue;
    std::shared_ptr<const OleVariant> FBoxedValue;
    std::string FItemID;
    TVexoGroup *FGroup = nullptr;
    /// Fields most items never use, kept apart so that a large group costs
    /// less memory; created on first write.
    struct RareFields {
        OleVariant WriteValue;
        void *UIReference = nullptr;
        std::string AccessPath;
    };
    RareFields &Rare() {
        if (!FRare)
            FRare = std::make_unique<RareFields>();
        return *FRare;
    }
    std::unique_ptr<RareFields> FRare;
};

/// The items of one group. Owns the client-handle table through which
/// callbacks reach items in constant time; a stale handle reaches nothing.
class TVexoItems : public TCollection {
  public:
    explicit TVexoItems(TVexoGroup *Group);
    ~TVexoItems() override;
    std::string ClassName() const override { return "TVexoItems"; }
    TPersistent *GetOwner() const override;
    TVexoGroup *Group() const { return FGroup; }

    /// Adds an item with ItemID (validated while designing, added on the
    /// server when connected and not in BatchMode).
    TVexoItem *AddItem(const std::string &ItemID);
    TVexoItem *GetItem(int Index) const;
    void SetItem(int Index, TVexoItem *Item);
    /// First item whose ServerHandle equals Handle, or nullptr.
    TVexoItem *GetOPCItem(OPCHANDLE Handle) const;
    void RemoveAll();

    // --- Batch operations: one server call each; true when every item succeeded.
    bool OPCAddItems(TVexoItemList *List, bool AddFlag);
    bool OPCValidateItems(TVexoItemList *List);
    bool OPCRemoveItems(TVexoItemList *List);
    bool OPCActiveItems(TVexoItemList *List, bool Active);
    bool OPCSetDataTypes(TVexoItemList *List);
    void OPCAddAllItems();
    void OPCRemoveAllItems();

    // --- Client handles (callback side) ------------------------------------
    /// Holds the handle table steady while a callback resolves handles and
    /// stores into items; items cannot be destroyed while it is held.
    std::unique_lock<std::mutex> LockForCallback() const {
        return std::unique_lock<std::mutex>(FHandleLock);
    }
    /// The item of Handle, or nullptr when the handle is stale or unknown.
    /// Call with LockForCallback held (or on the owner thread).
    TVexoItem *ItemFromHandle(OPCHANDLE Handle) const {
        const std::uint32_t Index = Handle & ((1u << HandleIndexBits) - 1);
        if (Index >= FSlots.size())
            return nullptr;
        TVexoItem *Item = FSlots[Index];
        return Item && Item->FClientHandle == Handle ? Item : nullptr;
    }

    /// A client handle holds a slot index in its low bits and the slot's
    /// generation above them.
    static constexpr unsigned HandleIndexBits = 22;

  private:
    friend class TVexoItem;
    OPCHANDLE AllocateHandle(TVexoItem *Item);
    void ReleaseHandle(OPCHANDLE Handle);

    /// A free slot and the generation its next handle gets.
    struct FreeSlot {
        std::uint32_t Index;
        std::uint32_t Generation;
    };
    TVexoGroup *FGroup;
    mutable std::mutex FHandleLock;
    /// The item of each slot; a handle reaches it only while the item's own
    /// client handle is that handle, so a stale one reaches nothing.
    std::vector<TVexoItem *> FSlots;
    std::vector<FreeSlot> FFreeSlots;
};

} // namespace vexo
