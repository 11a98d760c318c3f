//===- Messages.cpp - message targets and per-thread queues --------------===//
//
// This file implements the message targets. A target belongs to the thread
// that allocated it and posts go to that thread's queue. The target table is
// read-locked while a post pushes onto the queue, so that releasing a target
// (write lock) sees every message posted to it and can hand them to its
// discard procedure: nothing posted to a live target is ever lost silently.
// Handles come from a counter and are never reused.
//
//===----------------------------------------------------------------------===//
#include "MessageQueue.h"

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

bool TakeMessage(QueuedMessage &Out, std::chrono::steady_clock::time_point Deadline,
                 bool (*Stop)(), std::uint64_t SeqLimit) {
    ThreadQueue &q = *CurrentQueue();
    std::unique_lock lock(q.Lock);
    auto ready = [&] { return !q.Messages.empty() || (Stop && Stop()); };
    if (Deadline == std::chrono::steady_clock::time_point::max())
        q.Ready.wait(lock, ready);
    else if (Deadline != std::chrono::steady_clock::time_point::min())
        q.Ready.wait_until(lock, Deadline, ready);
    if (q.Messages.empty())
        return false;
    const QueuedMessage &front = q.Messages.front();
    if (front.Seq >= SeqLimit && !front.FromOwner)
        return false;
    Out = front;
    q.Messages.pop_front();
    return true;
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
        std::lock_guard qlock(q.Lock);
        q.Messages.push_back(QueuedMessage{Wnd, TMessage{Msg, WParam, LParam, 0}, q.NextSeq++,
                                           it->second->Owner == std::this_thread::get_id()});
        q.Ready.notify_all();
    }
    Application->WakeUp();
    return true;
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
