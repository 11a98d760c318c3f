//===- Application.h - the application object and its message loop ------===//
//
// TApplication drains the message targets of the thread that calls it, routes
// exceptions that escape a message handler to its exception handler, and lets
// a GUI toolkit hook in through a wake-up callback (called from any thread
// when a message is posted) so that its own event loop drains the queue.
// On Windows its loop is the system's: while it waits or drains, it also
// dispatches the thread's other messages, among them those that bring COM
// calls from other apartments into the main thread's apartment.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <functional>

#include <vexo/framework/SysUtils.h>

namespace vexo {

class TObject;

class TApplication {
  public:
    /// Enters the thread that creates it (the main thread: the one object is
    /// created before main runs) into a single-threaded COM apartment, so that
    /// thread may create objects. Other threads that create objects enter an
    /// apartment of their own.
    TApplication();
    /// Leaves that apartment on Windows, when the program ends.
    ~TApplication();
    TApplication(const TApplication &) = delete;
    TApplication &operator=(const TApplication &) = delete;

    using TExceptionEvent = std::function<void(TObject *Sender, const Exception &E)>;

    /// Delivers every message queued for the calling thread's targets, including
    /// ones the procedures post to this thread while delivering, then returns.
    /// Messages other threads post meanwhile wait for the next call, so a busy
    /// producer cannot keep it from returning. Timers due when it starts fire
    /// once. Never raises.
    void ProcessMessages();
    /// Waits (up to Timeout) for one message for the calling thread and delivers
    /// it; returns false when none arrived in time.
    bool HandleMessage(std::chrono::milliseconds Timeout = std::chrono::milliseconds::max());
    /// Delivers messages until Terminate is called.
    void Run();
    /// Ends Run; callable from any thread.
    void Terminate();
    bool Terminated() const;
    /// Clears the terminated flag so Run can be used again.
    void ResetTerminated();
    /// Time until the calling thread's next timer (SetTimer) falls due, 0 when
    /// one is due, -1 ms when it has none. A GUI toolkit that drains the queue
    /// from its own loop arms a timer of its own with it after each drain.
    std::chrono::milliseconds TimeToNextTimer() const;
    /// Delivers messages until Cond holds or Timeout passes; returns Cond().
    bool ProcessMessagesUntil(const std::function<bool()> &Cond, std::chrono::milliseconds Timeout);

    /// Handles the exception being caught (call from inside a catch block):
    /// OnException if assigned, otherwise the default handler, which shows the
    /// message through the UI services (ShowMessage). Never raises.
    void HandleException(TObject *Sender);
    /// Replaceable handler; non-framework exceptions arrive wrapped in Exception.
    TExceptionEvent OnException;

    /// Called from any thread whenever a message is posted; a GUI toolkit
    /// uses it to schedule ProcessMessages on its own loop. Thread-safe to set.
    /// An exception the hook raises is dropped: the post has succeeded.
    void SetWakeUpHook(std::function<void()> Hook);
    /// Calls the hook, if any. Never raises.
    void WakeUp() const;
};

/// The one application object.
extern TApplication *const Application;

} // namespace vexo
