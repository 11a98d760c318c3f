//===- WinMessages.cpp - message targets as message-only windows ---------===//
//
// This file implements the message targets on Windows. Each target is a real
// message-only window of its owner thread and a post is the system's
// PostMessage, so any loop that dispatches the thread's messages delivers
// them: the application object's, a modal dialog's or a toolkit's. The
// application object's loop is a real Windows loop too, which also runs the
// messages COM uses to bring calls from other apartments into a
// single-threaded one.
//
// Handles are this library's own (a counter, never reused), mapped to the
// windows through a table. A post holds the table's read lock while it
// queues, so releasing a target (write lock) sees every message posted to it
// and takes them out of the thread's queue for its discard procedure.
// Timers are the system's; a timer set or killed from another thread is
// carried out on the owner thread, as the system wants. Each thread also has
// one window of its own, for the loop's markers and wake-ups.
//
//===----------------------------------------------------------------------===//
#include "../MessageQueue.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include <vexo/framework/Application.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/platform/ErrorText.h>
#include <vexo/platform/WinSdk.h>

namespace {
/// The parent of message-only windows (spelt here, where HWND is the system's).
const ::HWND MessageOnlyParent = HWND_MESSAGE;
} // namespace

namespace vexo {
namespace detail {
namespace {

struct TimerState {
    Clock::duration Interval;
    Clock::time_point Due;
};

struct Target {
    TWndMethod WndProc;
    TWndMethod Discard;
    ::HWND Window = nullptr;
    DWORD Owner = 0;
    std::map<UINT_PTR, TimerState> Timers; ///< guarded by Registry::TimersLock
};

struct Registry {
    std::shared_mutex Lock;
    std::unordered_map<vexo::HWND, std::shared_ptr<Target>> Targets;
    /// Targets released on another thread than their owner's, until the
    /// owner has taken their messages out and destroyed their window.
    std::unordered_map<vexo::HWND, std::shared_ptr<Target>> Released;
    std::atomic<std::uint32_t> NextHandle{1};

    std::mutex TimersLock;

    std::mutex WindowsLock;
    std::vector<::HWND> ThreadWindows; ///< one per thread that runs a loop or owns targets
};

Registry &TheRegistry() {
    static Registry r;
    return r;
}

std::shared_ptr<Target> FindTarget(vexo::HWND Wnd) {
    Registry &r = TheRegistry();
    std::shared_lock lock(r.Lock);
    auto it = r.Targets.find(Wnd);
    return it == r.Targets.end() ? nullptr : it->second;
}

std::shared_ptr<Target> FindReleased(vexo::HWND Wnd) {
    Registry &r = TheRegistry();
    std::shared_lock lock(r.Lock);
    auto it = r.Released.find(Wnd);
    return it == r.Released.end() ? nullptr : it->second;
}

/// The library's private messages: registered, so that they never meet the
/// numbers applications use (WM_USER and WM_APP ranges).
struct PrivateMessages {
    UINT Marker = ::RegisterWindowMessageW(L"Vexo.Messages.Marker");     // WParam: number
    UINT Wake = ::RegisterWindowMessageW(L"Vexo.Messages.Wake");
    UINT SetTimer = ::RegisterWindowMessageW(L"Vexo.Messages.SetTimer"); // WParam: id, LParam: ms
    UINT KillTimer = ::RegisterWindowMessageW(L"Vexo.Messages.KillTimer");
    UINT Release = ::RegisterWindowMessageW(L"Vexo.Messages.Release");

    bool Has(UINT Msg) const {
        return Msg == Marker || Msg == Wake || Msg == SetTimer || Msg == KillTimer ||
               Msg == Release;
    }
};

const PrivateMessages &Private() {
    static const PrivateMessages m;
    return m;
}

/// What the calling thread's loop keeps: its own window and counters.
struct ThreadState {
    ::HWND Window = nullptr;
    // Marker numbers travel in WParam and wrap around with it.
    WPARAM MarkerNext = 0;        ///< number of the last marker posted
    WPARAM MarkerSeen = 0;        ///< last marker dispatched, by any loop
    std::uint64_t OwnPosts = 0;   ///< posts from this thread to its own targets
    std::uint64_t Delivered = 0;  ///< messages handed to a target's procedure

    ~ThreadState() {
        if (!Window)
            return;
        Registry &r = TheRegistry();
        {
            std::lock_guard lock(r.WindowsLock);
            std::erase(r.ThreadWindows, Window);
        }
        ::DestroyWindow(Window);
    }
};

thread_local ThreadState TheThread;

::LRESULT CALLBACK TargetWindowProc(::HWND Window, ::UINT Msg, ::WPARAM WParam, ::LPARAM LParam);

/// The module this code is linked into, which owns the window class.
HINSTANCE ThisModule() {
    static const HINSTANCE module = [] {
        HMODULE m = nullptr;
        ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                 GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCWSTR>(&TargetWindowProc), &m);
        return m;
    }();
    return module;
}

constexpr const wchar_t *ClassName = L"VexoMessageTarget";

::HWND CreateMessageWindow() {
    static const ATOM cls = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TargetWindowProc;
        wc.hInstance = ThisModule();
        wc.lpszClassName = ClassName;
        return ::RegisterClassExW(&wc);
    }();
    if (!cls)
        return nullptr;
    return ::CreateWindowExW(0, ClassName, L"", 0, 0, 0, 0, 0, MessageOnlyParent, nullptr,
                             ThisModule(), nullptr);
}

/// The calling thread's own window, created on first use; nullptr when the
/// system refuses one.
::HWND ThreadWindow() {
    ThreadState &ts = TheThread;
    if (ts.Window)
        return ts.Window;
    ts.Window = CreateMessageWindow();
    if (ts.Window) {
        Registry &r = TheRegistry();
        std::lock_guard lock(r.WindowsLock);
        r.ThreadWindows.push_back(ts.Window);
    }
    return ts.Window;
}

Clock::duration TimerInterval(UINT Elapse) {
    // The system runs no timer faster than USER_TIMER_MINIMUM.
    return std::chrono::milliseconds(std::max<UINT>(Elapse, USER_TIMER_MINIMUM));
}

/// Messages to a thread's own window: markers and wake-ups.
::LRESULT ThreadWindowProc(::HWND Window, ::UINT Msg, ::WPARAM WParam, ::LPARAM LParam) {
    if (Msg == Private().Marker) {
        ThreadState &ts = TheThread;
        // Markers are dispatched in the order they were posted.
        ts.MarkerSeen = WParam;
        return 0;
    }
    if (Msg == Private().Wake)
        return 0;
    return ::DefWindowProcW(Window, Msg, WParam, LParam);
}

/// Runs a timer request made on another thread, now on the owner thread.
void CarryOutTimerRequest(Target &T, UINT Msg, WPARAM Id, LPARAM Elapse) {
    if (Msg == Private().KillTimer) {
        ::KillTimer(T.Window, Id);
        return;
    }
    // The timer may have been killed again since the request was posted.
    Registry &r = TheRegistry();
    std::lock_guard lock(r.TimersLock);
    if (T.Timers.count(Id))
        ::SetTimer(T.Window, Id, static_cast<UINT>(Elapse), nullptr);
}

/// Hands a message of a released target to its discard procedure.
void DiscardOne(Target &T, const MSG &Msg) {
    if (Msg.message == WM_TIMER || Private().Has(Msg.message) || !T.Discard)
        return;
    TMessage m{Msg.message, Msg.wParam, Msg.lParam, 0};
    T.Discard(m);
}

/// Ends a released target on its owner thread: the messages still queued for
/// it go to its discard procedure, and its window is destroyed.
void FinishRelease(Target &T) {
    std::vector<MSG> orphans;
    MSG msg;
    while (::PeekMessageW(&msg, T.Window, 0, 0, PM_REMOVE | PM_NOYIELD)) {
        if (msg.message == WM_QUIT) { // not the target's: back where it was
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        orphans.push_back(msg);
    }
    ::DestroyWindow(T.Window);
    // No lock is held while the discard procedure runs.
    for (const MSG &m : orphans)
        DiscardOne(T, m);
}

/// A message for a target released on another thread: discarded, and the
/// release finished when its request arrives.
::LRESULT ReleasedWindowProc(vexo::HWND Handle, ::HWND Window, ::UINT Msg, ::WPARAM WParam,
                             ::LPARAM LParam) {
    std::shared_ptr<Target> t = FindReleased(Handle);
    if (!t)
        return ::DefWindowProcW(Window, Msg, WParam, LParam);
    try {
        if (Msg == Private().Release) {
            Registry &r = TheRegistry();
            {
                std::unique_lock lock(r.Lock);
                r.Released.erase(Handle);
            }
            FinishRelease(*t);
        } else {
            DiscardOne(*t, MSG{Window, Msg, WParam, LParam, 0, {}});
        }
    } catch (...) {
        Application->HandleException(nullptr);
    }
    return 0;
}

::LRESULT CALLBACK TargetWindowProc(::HWND Window, ::UINT Msg, ::WPARAM WParam, ::LPARAM LParam) {
    const auto handle = static_cast<vexo::HWND>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
    if (handle == 0) // the thread's own window, or a target still being made
        return ThreadWindowProc(Window, Msg, WParam, LParam);
    std::shared_ptr<Target> t = FindTarget(handle);
    if (!t)
        return ReleasedWindowProc(handle, Window, Msg, WParam, LParam);
    if (Msg == Private().SetTimer || Msg == Private().KillTimer) {
        CarryOutTimerRequest(*t, Msg, WParam, LParam);
        return 0;
    }
    if (Msg == WM_TIMER) {
        Registry &r = TheRegistry();
        std::lock_guard lock(r.TimersLock);
        auto timer = t->Timers.find(WParam);
        if (timer == t->Timers.end()) // killed from another thread, not yet on this one
            return 0;
        timer->second.Due = Clock::now() + timer->second.Interval;
    }
    if (!t->WndProc)
        return 0;
    ++TheThread.Delivered;
    // No exception may unwind through the system's dispatcher.
    TMessage m{Msg, WParam, LParam, 0};
    try {
        t->WndProc(m);
    } catch (...) {
        Application->HandleException(nullptr);
    }
    return m.Result;
}

/// Dispatches one message taken from the thread's queue; false for WM_QUIT,
/// which ends the application's loop as Terminate does.
bool Dispatch(const MSG &Msg) {
    if (Msg.message == WM_QUIT) {
        Application->Terminate();
        return false;
    }
    ::TranslateMessage(&Msg);
    ::DispatchMessageW(&Msg);
    return true;
}

/// True when marker Seen is Marker or a later one (numbers wrap around).
bool Reached(WPARAM Seen, WPARAM Marker) {
    return static_cast<std::intptr_t>(Seen - Marker) >= 0;
}

/// Milliseconds from now until Deadline for a wait, INFINITE for no limit.
DWORD WaitTime(Clock::time_point Deadline) {
    if (Deadline == Clock::time_point::max())
        return INFINITE;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(Deadline - Clock::now());
    if (left.count() <= 0)
        return 0;
    return static_cast<DWORD>(std::min<long long>(left.count(), INFINITE - 1));
}

} // namespace

void DeliverPending() {
    ThreadState &ts = TheThread;
    const ::HWND own = ThreadWindow();
    MSG msg;
    if (own) {
        // A marker posted now comes after everything queued so far; the drain
        // ends once it has been dispatched (by this loop or by one a procedure
        // runs). Posts the procedures make to this thread meanwhile get a
        // further round, behind a marker of their own.
        for (;;) {
            const WPARAM marker = ++ts.MarkerNext;
            const std::uint64_t ownPosts = ts.OwnPosts;
            if (!::PostMessageW(own, Private().Marker, marker, 0))
                break;
            while (!Reached(ts.MarkerSeen, marker) &&
                   ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                if (!Dispatch(msg))
                    return;
            if (ts.OwnPosts == ownPosts)
                break;
        }
    }
    // The system makes WM_TIMER only when no posted message waits: the timers
    // due now, each once, even when a procedure runs longer than an interval.
    std::vector<std::pair<::HWND, WPARAM>> fired;
    while (fired.size() < 1000 && ::PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE)) {
        const std::pair<::HWND, WPARAM> timer{msg.hwnd, msg.wParam};
        if (msg.message != WM_TIMER ||
            std::find(fired.begin(), fired.end(), timer) != fired.end())
            break; // WM_QUIT waits for the next loop; a timer due again, likewise
        if (!::PeekMessageW(&msg, msg.hwnd, WM_TIMER, WM_TIMER, PM_REMOVE))
            break;
        fired.push_back({msg.hwnd, msg.wParam});
        Dispatch(msg);
    }
}

bool DeliverNext(Clock::time_point Deadline, bool (*Stop)()) {
    ThreadState &ts = TheThread;
    ThreadWindow(); // for Terminate's wake-up
    const std::uint64_t before = ts.Delivered;
    MSG msg;
    for (;;) {
        // Every message is dispatched, COM's among them; only one that reaches
        // a target ends the wait.
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!Dispatch(msg))
                return false;
            if (ts.Delivered != before)
                return true;
            if (Stop && Stop())
                return false;
        }
        if ((Stop && Stop()) || Deadline == Clock::time_point::min() || Clock::now() >= Deadline)
            return false;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, WaitTime(Deadline), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
}

Clock::time_point NextTimerDue() {
    const DWORD self = ::GetCurrentThreadId();
    Registry &r = TheRegistry();
    Clock::time_point next = Clock::time_point::max();
    std::shared_lock lock(r.Lock);
    std::lock_guard tlock(r.TimersLock);
    for (const auto &[handle, t] : r.Targets)
        if (t->Owner == self)
            for (const auto &[id, timer] : t->Timers)
                next = std::min(next, timer.Due);
    return next;
}

void WakeAllQueues() {
    Registry &r = TheRegistry();
    std::lock_guard lock(r.WindowsLock);
    for (::HWND w : r.ThreadWindows)
        ::PostMessageW(w, Private().Wake, 0, 0);
}

} // namespace detail

using namespace detail;

HWND AllocateHWnd(TWndMethod WndProc, TWndMethod Discard) {
    Registry &r = TheRegistry();
    ThreadWindow();
    auto t = std::make_shared<Target>();
    t->WndProc = std::move(WndProc);
    t->Discard = std::move(Discard);
    t->Owner = ::GetCurrentThreadId();
    t->Window = CreateMessageWindow();
    if (!t->Window)
        throw EInvalidOperation("Cannot create a message target: " +
                                platform::SystemErrorText(HRESULT_FROM_WIN32(::GetLastError())));
    std::unique_lock lock(r.Lock);
    const HWND h = r.NextHandle.fetch_add(1);
    if (h == 0) { // the 32-bit counter ran out: refuse rather than reuse
        lock.unlock();
        ::DestroyWindow(t->Window);
        throw EInvalidOperation("No more message target handles");
    }
    ::SetWindowLongPtrW(t->Window, GWLP_USERDATA, static_cast<LONG_PTR>(h));
    r.Targets.emplace(h, std::move(t));
    return h;
}

void DeallocateHWnd(HWND Wnd) {
    Registry &r = TheRegistry();
    std::shared_ptr<Target> t;
    const bool onOwner = [&] {
        std::unique_lock lock(r.Lock);
        auto it = r.Targets.find(Wnd);
        if (it == r.Targets.end())
            return false;
        t = std::move(it->second);
        r.Targets.erase(it);
        const bool owner = t->Owner == ::GetCurrentThreadId();
        if (!owner)
            r.Released.emplace(Wnd, t);
        return owner;
    }();
    if (!t)
        return;
    {
        std::lock_guard tlock(r.TimersLock);
        t->Timers.clear();
    }
    // Posts hold the table's read lock while queueing, so every message for
    // this target is in the owner's queue now and no later one can arrive.
    // Only the owner thread can take them out and destroy the window: from
    // another thread, the owner's loop does it when the request arrives, and
    // discards what comes before it.
    if (onOwner)
        FinishRelease(*t);
    else if (!::PostMessageW(t->Window, Private().Release, 0, 0)) {
        std::unique_lock lock(r.Lock); // the owner thread has ended, and its windows with it
        r.Released.erase(Wnd);
    }
}

bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    Registry &r = TheRegistry();
    {
        std::shared_lock lock(r.Lock);
        auto it = r.Targets.find(Wnd);
        if (it == r.Targets.end())
            return false;
        // Fails only when the owner thread has ended or its queue is full.
        if (!::PostMessageW(it->second->Window, Msg, WParam, LParam))
            return false;
        if (it->second->Owner == ::GetCurrentThreadId())
            ++TheThread.OwnPosts;
    }
    Application->WakeUp();
    return true;
}

bool SetTimer(HWND Wnd, UINT_PTR IDEvent, UINT Elapse) {
    Registry &r = TheRegistry();
    {
        std::shared_lock lock(r.Lock);
        auto it = r.Targets.find(Wnd);
        if (it == r.Targets.end())
            return false;
        Target &t = *it->second;
        const Clock::duration interval = TimerInterval(Elapse);
        {
            std::lock_guard tlock(r.TimersLock);
            t.Timers[IDEvent] = TimerState{interval, Clock::now() + interval};
        }
        const UINT ms = static_cast<UINT>(
            std::chrono::duration_cast<std::chrono::milliseconds>(interval).count());
        // The system sets timers only for the calling thread's windows.
        const bool done =
            t.Owner == ::GetCurrentThreadId()
                ? ::SetTimer(t.Window, IDEvent, ms, nullptr) != 0
                : ::PostMessageW(t.Window, Private().SetTimer, IDEvent, static_cast<LPARAM>(ms));
        if (!done) {
            std::lock_guard tlock(r.TimersLock);
            t.Timers.erase(IDEvent);
            return false;
        }
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
    Target &t = *it->second;
    {
        std::lock_guard tlock(r.TimersLock);
        if (t.Timers.erase(IDEvent) == 0)
            return false;
    }
    if (t.Owner == ::GetCurrentThreadId())
        ::KillTimer(t.Window, IDEvent);
    else // a tick that comes before the request is not delivered
        ::PostMessageW(t.Window, Private().KillTimer, IDEvent, 0);
    return true;
}

LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    std::shared_ptr<Target> t = FindTarget(Wnd);
    if (!t)
        return 0;
    if (t->Owner != ::GetCurrentThreadId())
        throw EInvalidOperation("SendMessage called from a thread that does not own the target");
    TMessage m{Msg, WParam, LParam, 0};
    if (t->WndProc)
        t->WndProc(m);
    return m.Result;
}

} // namespace vexo
