//===- TVexoGroup.h - groups, their collection and their defaults --------===//
//
// A group organises items on the server with its own rate, dead band, active
// flag, time bias and locale. It exists locally first and is created on the
// server when its server component connects (or at once while connected);
// while it is on the server its setters send every change before storing it.
// Owner thread only, except where a member says otherwise.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <vexo/client/VexoTypes.h>
#include <vexo/framework/Collections.h>
#include <vexo/platform/ComPtr.h>

namespace vexo {

class TVexoDataCallback;
class TVexoAdviseSink;

/// Settings copied into each new group. Read only when a group is constructed.
class TVexoDefaultGroup : public TPersistent {
  public:
    std::string ClassName() const override { return "TVexoDefaultGroup"; }
    const PropertyTable *GetPropertyTable() const override;
    bool IsActive = true;
    std::int32_t LocaleId = 0;
    std::int32_t TimeBias = 0;
    std::int32_t UpdateRate = 1000;
    float DeadBand = 0.0f;
};

/// The groups of one server component; a group's ID is its client handle.
class TVexoGroups : public TCollection {
  public:
    explicit TVexoGroups(TVexoServer *Server);
    ~TVexoGroups() override;
    std::string ClassName() const override { return "TVexoGroups"; }
    TPersistent *GetOwner() const override;
    TVexoServer *Server() const { return FServer; }

    /// Adds a group named Name; EOPCException "group %s already exists" for a
    /// name in use or blank. Created on the server at once when connected.
    TVexoGroup *Add(const std::string &Name);
    TVexoGroup *GetItem(int Index) const;
    void SetItem(int Index, TVexoGroup *Group);
    /// Index of the first group named exactly Name, or -1.
    int Exists(const std::string &Name) const;
    TVexoGroup *GetOPCGroup(const std::string &Name) const;
    /// EOPCException "group not found" when there is no such group.
    void Remove(const std::string &Name);
    void RemoveAll();
    void RemoveAllOPCGroups();
    void CreateAllOPCGroups();
    void Update(TCollectionItem *Item) override;

  private:
    TVexoServer *FServer;
};

class TVexoGroup : public TCollectionItem {
  public:
    /// Joins Collection (a TVexoGroups) and takes the server's group defaults.
    explicit TVexoGroup(TCollection *Collection);
    /// Removes the group from the server if it is there, then frees its items.
    ~TVexoGroup() override;
    std::string ClassName() const override { return "TVexoGroup"; }
    const PropertyTable *GetPropertyTable() const override;
    std::string GetDisplayName() const override;

    // --- Published properties --------------------------------------------
    const std::string &Name() const { return FName; }
    void SetName(const std::string &Value);
    bool IsActive() const { return FIsActive; }
    void SetIsActive(bool Value);
    std::int32_t UpdateRate() const { return FUpdateRate; }
    void SetUpdateRate(std::int32_t Value);
    float DeadBand() const { return FDeadBand; }
    void SetDeadBand(float Value);
    std::int32_t LocaleId() const { return FLocaleId; }
    void SetLocaleId(std::int32_t Value);
    std::int32_t TimeBias() const { return FTimeBias; }
    void SetTimeBias(std::int32_t Value);
    TVexoDefaultItem *DefaultItem() const { return FDefaultItem.get(); }
    TVexoItems *OPCItems() const { return FOPCItems.get(); }

    // --- Public ----------------------------------------------------------
    bool IsPublic() const { return FIsPublic; }
    void SetIsPublic(bool Value) { FIsPublic = Value; }
    bool IsSubscribed() const { return FIsSubscribed; }
    void SetIsSubscribed(bool Value) { FIsSubscribed = Value; }
    TVexoServer *OPCServer() const { return FOPCServer; }
    OPCHANDLE ServerHandle() const { return FServerHandle; }
    /// True while the group exists on the server (its IOPCItemMgt is held).
    bool IsOnServer() const { return static_cast<bool>(FItemMgt); }
    /// Id of the last asynchronous call (the server's cancel or transaction
    /// id), 0 when none is outstanding; cleared by the sinks too.
    std::uint32_t TaskId() const { return FTaskId.load(std::memory_order_acquire); }
    /// Sets TaskId and forgets which call it belonged to (any thread).
    void SetTaskId(std::uint32_t Value);
    /// Notes a completion carrying Id (any thread): it ends the last
    /// asynchronous call, clearing TaskId, when Id is the transaction id the
    /// call sent or the id the server gave it, even when it arrives before
    /// the call has returned.
    void ClearTaskId(std::uint32_t Id);

    IOPCItemMgt *ItemMgt() const { return FItemMgt.Get(); }
    IOPCGroupStateMgt *GroupStateMgt() const { return FGroupStateMgt.Get(); }
    IOPCSyncIO *SyncIO() const { return FSyncIO.Get(); }
    IOPCAsyncIO2 *AsyncIO2() const { return FAsyncIO2.Get(); }
    IOPCAsyncIO *AsyncIO() const { return FAsyncIO.Get(); }
    TVexoDataCallback *DataCallback() const { return FDataCallback.Get(); }
    TVexoAdviseSink *AdviseSink() const { return FAdviseSink.Get(); }

    /// Creates the group on the server with its items and its sink.
    void OPCAddGroup();
    /// Removes the group from the server; its settings and items stay.
    void OPCRemoveGroup();
    /// Sends a complete group state; the setters are its only callers.
    void SetState(std::int32_t &AUpdateRate, bool AActive, std::int32_t ATimeBias, float ADeadBand,
                  std::int32_t ALocaleId, std::int32_t AClientHandle);
    /// The state the server reports; "not connected to server" when local.
    void GetState(tGroupStateRec &State);

    // --- Reads, writes, refresh and cancel ---------------------------------
    /// ItemList nullptr means every item of the group. True when the call was
    /// made and every item succeeded.
    bool SyncWrite(TVexoItemList *ItemList);
    bool AsyncWrite(TVexoItemList *ItemList);
    bool SyncRead(TVexoItemList *ItemList, bool FromCache);
    bool AsyncRead(TVexoItemList *ItemList);
    void Refresh(bool FromCache);
    void CancelLastAsyncCall();

  private:
    /// Connects the data callback, or else the stream advise sink (steps of
    /// OPCAddGroup after the items were added).
    void ConnectSink();
    void DetachSinks();
    /// True when an asynchronous call can be made and its answer can arrive.
    bool CanCallAsync() const;
    /// Starts the bookkeeping of an asynchronous call that sends TransactionId
    /// (0 when it sends none); ClearTask sets TaskId to 0 now.
    void BeginAsyncCall(std::uint32_t TransactionId, bool ClearTask);
    /// Ends it: Done tells whether its completion has arrived already; when
    /// Record, TaskId becomes Id (or 0 when done). Returns holding the
    /// bookkeeping lock, so the call can store its own results into the
    /// items before a completion that is still to come stores its own.
    std::unique_lock<std::mutex> EndAsyncCall(std::uint32_t Id, bool Record, bool &Done);
    /// Ends an asynchronous read or write of List: stores the call-time
    /// results under the bookkeeping lock, then raises a failed call. True
    /// when the server refused none of the items.
    bool EndAsyncItemCall(const TVexoItemList &List, DWORD Id, HRESULT Hr, const HRESULT *Errors);

    platform::ComPtr<IOPCItemMgt> FItemMgt;
    /// The sinks, held counted so they can be detached when the group leaves
    /// the server; a detached sink ignores late calls.
    platform::ComPtr<TVexoDataCallback> FDataCallback;
    platform::ComPtr<TVexoAdviseSink> FAdviseSink;
    platform::ComPtr<IOPCGroupStateMgt> FGroupStateMgt;
    platform::ComPtr<IOPCSyncIO> FSyncIO;
    platform::ComPtr<IOPCAsyncIO2> FAsyncIO2;
    platform::ComPtr<IOPCAsyncIO> FAsyncIO;
    OPCHANDLE FServerHandle = static_cast<OPCHANDLE>(-1);
    bool FIsPublic = false;
    bool FIsActive = true;
    bool FIsSubscribed = false;
    std::int32_t FTimeBias = 0;
    std::int32_t FLocaleId = 0;
    std::int32_t FUpdateRate = 1000;
    float FDeadBand = 0;
    std::string FName;
    TVexoServer *FOPCServer = nullptr;
    std::unique_ptr<TVexoDefaultItem> FDefaultItem;
    std::unique_ptr<TVexoItems> FOPCItems;
    /// Bookkeeping of the last asynchronous call, shared with the sinks.
    std::mutex FTaskLock;
    std::atomic<std::uint32_t> FTaskId{0}; ///< written under FTaskLock
    std::uint32_t FTaskTransaction = 0;    ///< what the outstanding call sent
    struct TCallInFlight {
        bool Active = false;
        std::uint32_t Transaction = 0;
        bool Done = false;
        std::vector<std::uint32_t> Seen; ///< other ids of completions meanwhile
    } FInFlight;
};

/// The process-wide transaction counter of asynchronous calls: 0 at start,
/// advanced before each asynchronous read, write and refresh; wraps at 2^32.
extern std::atomic<std::uint32_t> TransactionCounter;

} // namespace vexo
