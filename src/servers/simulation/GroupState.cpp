//===- GroupState.cpp - item slots and the callback gate of a group -------===//
#include "GroupState.h"

#include <algorithm>

namespace vexo::sim {

Item *GroupState::NewItem() {
    std::size_t slot = 0;
    OPCHANDLE generation = 0;
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
        generation = ((items[slot - 1].hServer >> kSlotBits) + 1) & (0xFFFFFFFFu >> kSlotBits);
        items[slot - 1] = Item{};
    } else {
        if (items.size() >= kMaxItems)
            return nullptr;
        items.emplace_back();
        slot = items.size();
    }
    Item &item = items[slot - 1];
    item.hServer = static_cast<OPCHANDLE>((generation << kSlotBits) | slot);
    ++liveItems;
    return &item;
}

void GroupState::DeleteItem(Item &item) {
    item.alive = false;
    item.active = false;
    item.tag = nullptr;
    item.accessPath = vexo::platform::WideString();
    --liveItems;
    freeSlots_.push_back(static_cast<std::uint32_t>(item.hServer & kMaxItems));
}

void GroupState::ReserveItems(std::size_t n) {
    const std::size_t fresh = n > freeSlots_.size() ? n - freeSlots_.size() : 0;
    const std::size_t wanted = std::min(items.size() + fresh, kMaxItems);
    if (wanted > items.capacity())
        items.reserve(std::max(wanted, std::min(items.capacity() * 2, kMaxItems)));
}

bool GroupState::EnterCallback() {
    std::lock_guard lock(gateMu_);
    if (closed_)
        return false;
    ++inflight_;
    deliverer_ = std::this_thread::get_id();
    return true;
}

void GroupState::LeaveCallback() {
    std::lock_guard lock(gateMu_);
    if (--inflight_ == 0)
        gateCv_.notify_all();
}

void GroupState::CloseGate() {
    std::unique_lock lock(gateMu_);
    closed_ = true;
    // A sink that removes its own group from inside the callback must not wait
    // for itself; callbacks on other threads are waited for, so that no
    // callback starts or runs after RemoveGroup returned.
    gateCv_.wait(lock, [&] { return inflight_ == 0 || deliverer_ == std::this_thread::get_id(); });
}

} // namespace vexo::sim
