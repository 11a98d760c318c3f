//===- MessageQueue.h - per-thread message queues (internal) -------------===//
//
// This file declares what the message targets and the application object
// share: one queue per thread that owns targets, and delivery of the queued
// messages of the calling thread.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include <vexo/framework/Messages.h>

namespace vexo::detail {

struct QueuedMessage {
    HWND Wnd;
    TMessage Msg;
    std::uint64_t Seq = 0;   ///< order of posting within the queue
    bool FromOwner = false;  ///< posted by the queue's own thread
};

/// The queue of one thread. Posters lock it briefly; only its thread pops.
struct ThreadQueue {
    std::mutex Lock;
    std::condition_variable Ready;
    std::deque<QueuedMessage> Messages;
    std::uint64_t NextSeq = 0; ///< sequence number of the next post
};

/// The calling thread's queue (created on first use).
const std::shared_ptr<ThreadQueue> &CurrentQueue();

/// Wakes every thread waiting in its queue (used by Terminate).
void WakeAllQueues();

/// Takes the next message of the calling thread's queue, waiting until
/// Deadline (time_point::max(): no limit, time_point::min(): no wait at all)
/// or until Stop() holds; false when none came. With SeqLimit, a message that
/// another thread posted at or after that sequence number is left queued.
bool TakeMessage(QueuedMessage &Out, std::chrono::steady_clock::time_point Deadline,
                 bool (*Stop)(), std::uint64_t SeqLimit = UINT64_MAX);
/// The sequence number the calling thread's next queued message will get.
std::uint64_t CurrentSeq();

/// Delivers one taken message to its target's procedure on the calling thread.
/// Exceptions from the procedure pass to the caller.
void Deliver(QueuedMessage &M);

} // namespace vexo::detail
