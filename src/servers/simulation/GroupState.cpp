//===- GroupState.cpp - the callback gate of a group ----------------------===//
#include "GroupState.h"

namespace vexo::sim {

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
