//===- Messages.cpp - message targets and per-thread queues --------------===//
//
// This file implements the message targets. A target belongs to the thread
// that allocated it and posts go to that thread's queue. The target table is
// read-locked while a post pushes onto the queue, so that releasing a target
// (write lock) sees every message posted to it and can hand them to its
// discard procedure: nothing posted to a live target is ever lost silently.
// Handles come from a counter and are never reused. Timers live in the queue
// of their target's owner thread, which makes their WM_TIMER messages when
// they fall due and sleeps no longer than until the next one.
//
//===----------------------------------------------------------------------===//
#include "MessageQueue.h"

#include <algorithm>
#include <atomic>
#include <shared_mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include <vexo/framework/Application.h>
#include <vexo/framework/SysUtils.h>

namespace vexo {
namespace detail {
namespace {

struct Target {
    TWndMethod WndProc;
    TWndMethod Discard;
    std::shared_ptr<ThreadQueue> Queue;
    std::thread::id Owner;
};

struct Registry {
    std::shared_mutex Lock;
    std::unordered_map<HWND, std::shared_ptr<Target>> Targets;
    std::atomic<std::uint32_t> NextHandle{1};

    std::mutex QueuesLock;
    std::vector<std::weak_ptr<ThreadQueue>> Queues;
};

Registry &TheRegistry() {
    static Registry r;
    return r;
}

std::shared_ptr<Target> FindTarget(HWND Wnd) {
    Registry &r = TheRegistry();
    std::shared_lock lock(r.Lock);
    auto it = r.Targets.find(Wnd);
    return it == r.Targets.end() ? nullptr : it->second;
}

} // namespace

const std::shared_ptr<ThreadQueue> &CurrentQueue() {
    thread_local std::shared_ptr<ThreadQueue> queue = [] {
        auto q = std::make_shared<ThreadQueue>();
        Registry &r = TheRegistry();
        std::lock_guard lock(r.QueuesLock);
        std::erase_if(r.Queues, [](const std::weak_ptr<ThreadQueue> &w) { return w.expired(); });
        r.Queues.push_back(q);
        return q;
    }();
    return queue;
}

void WakeAllQueues() {
    Registry &r = TheRegistry();
    std::vector<std::shared_ptr<ThreadQueue>> queues;
    {
        std::lock_guard lock(r.QueuesLock);
        for (auto &w : r.Queues)
            if (auto q = w.lock())
                queues.push_back(std::move(q));
    }
    for (auto &q : queues) {
        // Taking the lock orders the wake-up after a waiter's check of Stop().
        std::lock_guard lock(q->Lock);
        q->Ready.notify_all();
    }
}

namespace {

/// The timer that is due soonest, if it is due by Limit; nullptr otherwise.
QueuedTimer *DueTimer(ThreadQueue &q, Clock::time_point Limit) {
    QueuedTimer *best = nullptr;
    for (QueuedTimer &t : q.Timers)
        if (t.Due <= Limit && (!best || t.Due < best->Due))
            best = &t;
    return best;
}

Clock::time_point EarliestTimer(const ThreadQueue &q) {
    Clock::time_point next = Clock::time_point::max();
    for (const QueuedTimer &t : q.Timers)
        next = std::min(next, t.Due);
    return next;
}

} // namespace

bool TakeMessage(QueuedMessage &Out, Clock::time_point Deadline, bool (*Stop)(),
                 std::uint64_t SeqLimit, Clock::time_point TimerLimit) {
    ThreadQueue &q = *CurrentQueue();
    std::unique_lock lock(q.Lock);
    for (;;) {
        const Clock::time_point now = Clock::now();
        QueuedTimer *due = DueTimer(q, std::min(now, TimerLimit));
        const QueuedMessage *front = q.Messages.empty() ? nullptr : &q.Messages.front();
        const bool frontTaken = front && (front->Seq < SeqLimit || front->FromOwner);
        if (frontTaken && (!due || front->Posted <= due->Due)) {
            Out = *front;
            q.Messages.pop_front();
            return true;
        }
        if (due) {
            Out = QueuedMessage{due->Wnd, TMessage{WM_TIMER, due->Id, 0, 0}, 0, true, now};
            // Missed periods are not made up: the next one starts now.
            due->Due = now + due->Interval;
            return true;
        }
        if (front) // left for the next call (SeqLimit)
            return false;
        if ((Stop && Stop()) || Deadline == Clock::time_point::min() || now >= Deadline)
            return false;
        const Clock::time_point wake = std::min(Deadline, EarliestTimer(q));
        if (wake == Clock::time_point::max())
            q.Ready.wait(lock);
        else
            q.Ready.wait_until(lock, wake);
    }
}

Clock::time_point NextTimerDue() {
    ThreadQueue &q = *CurrentQueue();
    std::lock_guard lock(q.Lock);
    return EarliestTimer(q);
}

std::uint64_t CurrentSeq() {
    ThreadQueue &q = *CurrentQueue();
    std::lock_guard lock(q.Lock);
    return q.NextSeq;
}

void Deliver(QueuedMessage &M) {
    std::shared_ptr<Target> t = FindTarget(M.Wnd);
    if (t && t->WndProc)
        t->WndProc(M.Msg);
}

namespace {
void DeliverHandled(QueuedMessage &M) {
    try {
        Deliver(M);
    } catch (...) {
        Application->HandleException(nullptr);
    }
}
} // namespace

void DeliverPending() {
    QueuedMessage m;
    // Zero deadline: take what is there, including messages the procedures
    // post to their own thread, and return when the queue is empty. Messages
    // other threads post after this point wait for the next call, so a
    // producer that never pauses cannot keep this loop from returning.
    // Timers likewise fire at most once per call: only those due by now.
    const std::uint64_t limit = CurrentSeq();
    const auto timerLimit = Clock::now();
    while (TakeMessage(m, Clock::time_point::min(), nullptr, limit, timerLimit))
        DeliverHandled(m);
}

bool DeliverNext(Clock::time_point Deadline, bool (*Stop)()) {
    QueuedMessage m;
    if (!TakeMessage(m, Deadline, Stop))
        return false;
    DeliverHandled(m);
    return true;
}

} // namespace detail

using namespace detail;

HWND AllocateHWnd(TWndMethod WndProc, TWndMethod Discard) {
    Registry &r = TheRegistry();
    auto t = std::make_shared<Target>();
    t->WndProc = std::move(WndProc);
    t->Discard = std::move(Discard);
    t->Queue = CurrentQueue();
    t->Owner = std::this_thread::get_id();
    std::unique_lock lock(r.Lock);
    HWND h = r.NextHandle.fetch_add(1);
    if (h == 0) // the 32-bit counter ran out: refuse rather than reuse
        throw EInvalidOperation("No more message target handles");
    r.Targets.emplace(h, std::move(t));
    return h;
}

void DeallocateHWnd(HWND Wnd) {
    Registry &r = TheRegistry();
    std::shared_ptr<Target> t;
    std::vector<TMessage> orphans;
    {
        std::unique_lock lock(r.Lock);
        auto it = r.Targets.find(Wnd);
        if (it == r.Targets.end())
            return;
        t = std::move(it->second);
        r.Targets.erase(it);
        // Posts hold the table's read lock while queueing, so every message for
        // this target is in the queue now and no later one can arrive.
        std::lock_guard qlock(t->Queue->Lock);
        std::erase_if(t->Queue->Timers, [Wnd](const QueuedTimer &qt) { return qt.Wnd == Wnd; });
        auto &msgs = t->Queue->Messages;
        for (auto m = msgs.begin(); m != msgs.end();) {
            if (m->Wnd == Wnd) {
                orphans.push_back(m->Msg);
                m = msgs.erase(m);
            } else {
                ++m;
            }
        }
    }
    // No lock is held while the discard procedure runs.
    if (t->Discard)
        for (TMessage &m : orphans)
            t->Discard(m);
}

bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    Registry &r = TheRegistry();
    {
        std::shared_lock lock(r.Lock);
        auto it = r.Targets.find(Wnd);
        if (it == r.Targets.end())
            return false;
        ThreadQueue &q = *it->second->Queue;
        const bool FromOwner = it->second->Owner == std::this_thread::get_id();
        {
            std::lock_guard qlock(q.Lock);
            q.Messages.push_back(QueuedMessage{Wnd, TMessage{Msg, WParam, LParam, 0}, q.NextSeq++,
                                               FromOwner, Clock::now()});
        }
        // Woken after the queue's lock is let go, the owner does not wake only
        // to wait for that lock. The table's lock, still held, keeps the queue.
        q.Ready.notify_all();
    }
    Application->WakeUp();
    return true;
}

bool SetTimer(HWND Wnd, UINT_PTR IDEvent, UINT Elapse) {
    const Clock::duration interval = std::chrono::milliseconds(std::max<UINT>(Elapse, 1));
    Registry &r = TheRegistry();
    {
        std::shared_lock lock(r.Lock);
        auto it = r.Targets.find(Wnd);
        if (it == r.Targets.end())
            return false;
        ThreadQueue &q = *it->second->Queue;
        std::lock_guard qlock(q.Lock);
        const Clock::time_point due = Clock::now() + interval;
        auto t = std::find_if(q.Timers.begin(), q.Timers.end(), [&](const QueuedTimer &qt) {
            return qt.Wnd == Wnd && qt.Id == IDEvent;
        });
        if (t != q.Timers.end())
            *t = QueuedTimer{Wnd, IDEvent, interval, due};
        else
            q.Timers.push_back(QueuedTimer{Wnd, IDEvent, interval, due});
        q.Ready.notify_all(); // a waiting owner recomputes how long it may sleep
    }
    // A GUI toolkit draining the queue from its own loop re-arms its timer.
    Application->WakeUp();
    return true;
}

bool KillTimer(HWND Wnd, UINT_PTR IDEvent) {
    Registry &r = TheRegistry();
    std::shared_lock lock(r.Lock);
    auto it = r.Targets.find(Wnd);
    if (it == r.Targets.end())
        return false;
    ThreadQueue &q = *it->second->Queue;
    std::lock_guard qlock(q.Lock);
    return std::erase_if(q.Timers, [&](const QueuedTimer &qt) {
               return qt.Wnd == Wnd && qt.Id == IDEvent;
           }) > 0;
}

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    std::shared_ptr<Target> t = FindTarget(Wnd);
    if (!t)
        return 0;
    if (t->Owner != std::this_thread::get_id())
        throw EInvalidOperation("SendMessage called from a thread that does not own the target");
    TMessage m{Msg, WParam, LParam, 0};
    if (t->WndProc)
        t->WndProc(m);
    return m.Result;
}

} // namespace vexo
