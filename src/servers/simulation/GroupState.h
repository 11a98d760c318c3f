//===- GroupState.h - bookkeeping of one group and its items --------------===//
//
// This file defines GroupState, the server-side record of a group (its state,
// its items by server handle, its advised sinks and scan schedule) and Item.
// Everything except the callback gate is guarded by the server's lock. The
// gate lets RemoveGroup wait for a callback that is running on another thread
// while a callback that removes its own group goes on without waiting.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vexo/OPCDA.h>
#include <vexo/platform/ComInterfaces.h>
#include <vexo/platform/ComPtr.h>
#include <vexo/platform/WideString.h>

#include "SimValue.h"
#include "Tag.h"

namespace vexo::sim {

class SimGroup;

struct Item {
    OPCHANDLE hServer = 0; ///< kept after removal: the next item of the slot bumps its generation
    OPCHANDLE hClient = 0;
    bool alive = true;
    bool active = false;
    VARTYPE requested = VT_EMPTY;
    Tag *tag = nullptr;
    vexo::platform::WideString accessPath;
    // What the client was last told, for "changed values only" and the dead band.
    bool sent = false;
    std::uint64_t sentVersion = 0;
    WORD sentQuality = 0;
    double sentNumber = 0;
};

/// One IAdviseSink advise on the group's IDataObject.
struct StreamAdvise {
    DWORD connection;
    CLIPFORMAT format;
    platform::ComPtr<IAdviseSink> sink;
};

class GroupState {
  public:
    // --- state (server lock) ---
    OPCHANDLE handle = 0;
    vexo::platform::WideString name;
    OPCHANDLE clientHandle = 0;
    bool active = false;
    DWORD rate = 1000;
    LONG timeBias = 0;
    FLOAT deadband = 0;
    LCID lcid = 0;
    bool enabled = true; ///< IOPCAsyncIO2::SetEnable
    bool inNameSpace = true;
    /// Removed while a client still held it: no longer listed, deleted when
    /// the last reference to its object goes.
    bool removing = false;
    /// The group's one COM object while a client holds it (not counted: the
    /// object clears this when its last reference goes).
    SimGroup *object = nullptr;
    std::uint64_t nextDueMs = 0;
    /// Slots of items; a removed item's slot is reused with its generation
    /// bumped, so memory stays bounded while a stale handle still finds nothing.
    std::vector<Item> items;
    std::size_t liveItems = 0;
    DWORD callbackCookie = 0; ///< 0: no IOPCDataCallback advised
    platform::ComPtr<IOPCDataCallback> callback;
    std::vector<StreamAdvise> advises;

    /// Server handles: the low bits hold the slot plus one, the high bits the
    /// slot's generation, so a handle is never 0 and one slot's next item gets
    /// a different handle (until the generation wraps after 1,024 reuses).
    static constexpr unsigned kSlotBits = 22;
    static constexpr std::size_t kMaxItems = (std::size_t{1} << kSlotBits) - 1;

    /// The live item with this server handle, or nullptr.
    Item *FindItem(OPCHANDLE h) {
        const std::size_t slot = (h & kMaxItems);
        if (slot == 0 || slot > items.size())
            return nullptr;
        Item &item = items[slot - 1];
        return item.alive && item.hServer == h ? &item : nullptr;
    }
    /// A fresh live item with its handle set, or nullptr when the group is full.
    Item *NewItem();
    /// Frees the item's slot for reuse.
    void DeleteItem(Item &item);
    /// Makes room for n more items without moving them one call at a time.
    void ReserveItems(std::size_t n);

    // --- callback gate (own mutex) ---
    /// Enters a callback; false when the group was removed.
    bool EnterCallback();
    void LeaveCallback();
    /// Marks the group removed and waits for callbacks running on other threads.
    void CloseGate();

  private:
    std::vector<std::uint32_t> freeSlots_; ///< slot numbers (plus one) ready for reuse
    std::mutex gateMu_;
    std::condition_variable gateCv_;
    bool closed_ = false;
    int inflight_ = 0;
    std::thread::id deliverer_;
};

} // namespace vexo::sim
