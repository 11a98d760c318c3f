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

#ifdef _WIN32
/// The main thread's apartment, entered by the application object. It is
/// left only when it was entered here, and on the thread that entered it.
struct MainApartment {
    bool Entered = false;
    DWORD Thread = 0;
};
MainApartment GMainApartment;
#endif

TApplication GApplication;

} // namespace

TApplication *const Application = &GApplication;

TApplication::TApplication() {
    const HRESULT hr = platform::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#ifdef _WIN32
    GMainApartment = MainApartment{SUCCEEDED(hr), ::GetCurrentThreadId()};
#else
    (void)hr; // the stand-in's apartment lasts as long as the process
#endif
}

TApplication::~TApplication() {
#ifdef _WIN32
    // The system's runtime is left in order when the program ends: what the
    // apartment still holds is released while the runtime is whole.
    if (GMainApartment.Entered && GMainApartment.Thread == ::GetCurrentThreadId())
        platform::CoUninitialize();
#endif
}

void TApplication::ProcessMessages() { detail::DeliverPending(); }

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
    return detail::DeliverNext(DeadlineAfter(Timeout), &IsTerminated);
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
        detail::DeliverNext(std::min(deadline, now + std::chrono::milliseconds(10)), nullptr);
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
