//===- MessageQueue.h - per-thread message queues (internal) -------------===//
//
// This file declares what the message targets and the application object
// share: the loop primitives the application object is built on, and, on
// systems without a window manager, the per-thread queue behind them (on
// Windows the thread's own message queue plays that part).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include <vexo/framework/Messages.h>

namespace vexo::detail {

using Clock = std::chrono::steady_clock;

/// Delivers what is queued for the calling thread's targets now, and what
/// their procedures post to this thread meanwhile; timers due by now fire
/// once. What other threads post after the start waits for the next call.
/// Exceptions from procedures go to the application's handler.
void DeliverPending();
/// Waits until Deadline (time_point::max(): no limit, time_point::min(): no
/// wait at all) or until Stop() holds for one message for the calling
/// thread's targets and delivers it; false when none came.
bool DeliverNext(Clock::time_point Deadline, bool (*Stop)());
/// When the calling thread's next timer falls due; time_point::max() without one.
Clock::time_point NextTimerDue();
/// Wakes every thread waiting for messages (used by Terminate).
void WakeAllQueues();

#ifndef _WIN32

struct QueuedMessage {
    HWND Wnd;
    TMessage Msg;
    std::uint64_t Seq = 0;      ///< order of posting within the queue
    bool FromOwner = false;     ///< posted by the queue's own thread
    Clock::time_point Posted{}; ///< when it was posted (orders it against timers)
};

/// A timer of a target on this queue: WM_TIMER with WParam = Id once Due.
struct QueuedTimer {
    HWND Wnd;
    UINT_PTR Id;
    Clock::duration Interval;
    Clock::time_point Due;
};

/// The queue of one thread. Posters lock it briefly; only its thread pops.
struct ThreadQueue {
    std::mutex Lock;
    std::condition_variable Ready;
    std::deque<QueuedMessage> Messages;
    std::vector<QueuedTimer> Timers;
    std::uint64_t NextSeq = 0; ///< sequence number of the next post
};

/// The calling thread's queue (created on first use).
const std::shared_ptr<ThreadQueue> &CurrentQueue();

/// Takes the next message of the calling thread's queue, waiting until
/// Deadline (time_point::max(): no limit, time_point::min(): no wait at all)
/// or until Stop() holds; false when none came. With SeqLimit, a message that
/// another thread posted at or after that sequence number is left queued.
/// A timer that is due (and due by TimerLimit) comes as WM_TIMER, after the
/// messages posted before it fell due, and is then due again one interval on.
bool TakeMessage(QueuedMessage &Out, Clock::time_point Deadline, bool (*Stop)(),
                 std::uint64_t SeqLimit = UINT64_MAX,
                 Clock::time_point TimerLimit = Clock::time_point::max());
/// The sequence number the calling thread's next queued message will get.
std::uint64_t CurrentSeq();

/// Delivers one taken message to its target's procedure on the calling thread.
/// Exceptions from the procedure pass to the caller.
void Deliver(QueuedMessage &M);

#endif

} // namespace vexo::detail
