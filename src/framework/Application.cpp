//===- Application.cpp - the application object and its message loop ----===//
//
// This file implements TApplication: draining the calling thread's message
// queue, the blocking loop, termination from any thread, the exception
// handler and the wake-up hook for a GUI toolkit's own event loop.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/Application.h>

#include <atomic>
#include <exception>
#include <memory>
#include <mutex>

#include "MessageQueue.h"
#include <vexo/platform/Activation.h>
#include <vexo/framework/UIServices.h>

namespace vexo {
namespace {

std::atomic<bool> GTerminated{false};

bool IsTerminated() { return GTerminated.load(std::memory_order_acquire); }

struct WakeHook {
    std::mutex Lock;
    std::shared_ptr<const std::function<void()>> Hook;
};

WakeHook &TheWakeHook() {
    static WakeHook h;
    return h;
}

TApplication GApplication;

} // namespace

TApplication *const Application = &GApplication;

TApplication::TApplication() {
    // Never left: the apartment lasts as long as the process.
    platform::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

void TApplication::ProcessMessages() {
    detail::QueuedMessage m;
    // Zero deadline: take what is there, including messages the procedures
    // post to their own thread, and return when the queue is empty. Messages
    // other threads post after this point wait for the next call, so a
    // producer that never pauses cannot keep this loop from returning.
    // Timers likewise fire at most once per call: only those due by now.
    const std::uint64_t limit = detail::CurrentSeq();
    const auto timerLimit = std::chrono::steady_clock::now();
    while (detail::TakeMessage(m, std::chrono::steady_clock::time_point::min(), nullptr, limit,
                               timerLimit)) {
        try {
            detail::Deliver(m);
        } catch (...) {
            HandleException(nullptr);
        }
    }
}

namespace {
/// Now plus Timeout, saturated: a very long timeout means "no deadline" and a
/// negative one "now", instead of overflowing the clock.
std::chrono::steady_clock::time_point DeadlineAfter(std::chrono::milliseconds Timeout) {
    using Clock = std::chrono::steady_clock;
    if (Timeout > std::chrono::hours(24 * 365 * 100))
        return Clock::time_point::max();
    if (Timeout < std::chrono::milliseconds::zero())
        return Clock::now();
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(Timeout);
}
} // namespace

bool TApplication::HandleMessage(std::chrono::milliseconds Timeout) {
    const auto deadline = DeadlineAfter(Timeout);
    detail::QueuedMessage m;
    if (!detail::TakeMessage(m, deadline, &IsTerminated))
        return false;
    try {
        detail::Deliver(m);
    } catch (...) {
        HandleException(nullptr);
    }
    return true;
}

void TApplication::Run() {
    while (!Terminated())
        HandleMessage();
}

void TApplication::Terminate() {
    GTerminated.store(true, std::memory_order_release);
    detail::WakeAllQueues();
}

bool TApplication::Terminated() const { return IsTerminated(); }

void TApplication::ResetTerminated() { GTerminated.store(false, std::memory_order_release); }

bool TApplication::ProcessMessagesUntil(const std::function<bool()> &Cond,
                                        std::chrono::milliseconds Timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = DeadlineAfter(Timeout);
    for (;;) {
        ProcessMessages();
        if (Cond())
            return true;
        const auto now = Clock::now();
        if (now >= deadline)
            return Cond();
        // Wait for a message, but look at Cond at least every 10 ms: it may be
        // made true by another thread without a message.
        const auto slice = std::min(deadline, now + std::chrono::milliseconds(10));
        detail::QueuedMessage m;
        if (detail::TakeMessage(m, slice, nullptr)) {
            try {
                detail::Deliver(m);
            } catch (...) {
                HandleException(nullptr);
            }
        }
    }
}

std::chrono::milliseconds TApplication::TimeToNextTimer() const {
    using namespace std::chrono;
    const steady_clock::time_point due = detail::NextTimerDue();
    if (due == steady_clock::time_point::max())
        return milliseconds(-1);
    const auto left = due - steady_clock::now();
    // Rounded up, so that a toolkit timer armed with it finds the timer due.
    return left <= steady_clock::duration::zero() ? milliseconds(0) : ceil<milliseconds>(left);
}

void TApplication::HandleException(TObject *Sender) {
    // Outside a catch block there is nothing to handle (and rethrowing would
    // end the process).
    if (!std::current_exception())
        return;
    try {
        try {
            throw;
        } catch (const Exception &e) {
            if (OnException)
                OnException(Sender, e);
            else
                ShowMessage(e.Message());
        } catch (const std::exception &e) {
            Exception wrapped(e.what());
            if (OnException)
                OnException(Sender, wrapped);
            else
                ShowMessage(wrapped.Message());
        } catch (...) {
            Exception wrapped("Unknown exception");
            if (OnException)
                OnException(Sender, wrapped);
            else
                ShowMessage(wrapped.Message());
        }
    } catch (...) {
        // The handler itself failed: the handler of last resort never raises.
    }
}

void TApplication::SetWakeUpHook(std::function<void()> Hook) {
    auto p = Hook ? std::make_shared<const std::function<void()>>(std::move(Hook)) : nullptr;
    WakeHook &h = TheWakeHook();
    std::lock_guard lock(h.Lock);
    h.Hook = std::move(p);
}

void TApplication::WakeUp() const {
    std::shared_ptr<const std::function<void()>> hook;
    {
        WakeHook &h = TheWakeHook();
        std::lock_guard lock(h.Lock);
        hook = h.Hook;
    }
    if (!hook)
        return;
    // The message that asked for the wake-up is queued already: a hook that
    // raises must not make its post look failed (the poster would free what
    // the queue still carries), and nothing may cross back into a server.
    try {
        (*hook)();
    } catch (...) {
    }
}

} // namespace vexo
