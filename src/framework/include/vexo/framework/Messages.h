//===- Messages.h - message targets: post from any thread, run on the owner -===//
//
// A message target stands in for a hidden window: AllocateHWnd registers a
// window procedure owned by the calling thread; PostMessage queues a message
// from any thread without blocking on the owner and keeps each poster's
// order; the owner thread's application object drains the queue and calls the
// procedure (ProcessMessages, HandleMessage, Run). A post to a target that is
// gone returns false and the poster frees what it carried. Messages still
// queued when a target is released are handed to its discard procedure, so
// their payloads can be freed. Timers (SetTimer/KillTimer) deliver WM_TIMER
// to a target on its owner thread from the same loop; they need no thread.
//
// On Windows a target is a message-only window of its owner thread, a post is
// the system's PostMessage and a timer the system's SetTimer: any loop that
// dispatches the thread's messages delivers them (the application object's,
// a modal dialog's, a toolkit's); WM_TIMER waits until no post is queued, and
// comes at most every 10 ms. The handles stay this library's own.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <functional>

#ifdef _WIN32
#include <vexo/platform/WinSdk.h> // WM_TIMER and WM_USER
#endif

namespace vexo {

using HWND = std::uint32_t; ///< 0 is no target
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;

#ifndef _WIN32
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;
#endif

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

using TWndMethod = std::function<void(TMessage &)>;

/// Creates a target owned by the calling thread. Discard (optional) receives
/// every message still queued when the target is released. Thread-safe.
HWND AllocateHWnd(TWndMethod WndProc, TWndMethod Discard = nullptr);
/// Releases a target: no message is delivered to it afterwards; queued ones go
/// to its discard procedure. Must not run while the target's procedure is
/// running on another thread (owner thread only). On Windows, released from
/// another thread, the owner thread's loop discards them later.
void DeallocateHWnd(HWND Wnd);
/// Queues a message for Wnd's owner thread; false when Wnd does not exist
/// (on Windows also when the owner thread's queue is full). Never blocks on
/// the owner; thread-safe.
bool PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
/// Starts timer IDEvent of Wnd, or restarts it when it runs: Elapse ms from
/// now (at least 1), and every Elapse ms after, the owner thread's loop calls
/// Wnd's procedure with WM_TIMER and WParam = IDEvent, after the messages
/// posted before the timer fell due. Periods missed while the loop was busy
/// give one WM_TIMER, not one each. False when Wnd does not exist.
/// Thread-safe; the timer ends with KillTimer or with the target.
bool SetTimer(HWND Wnd, UINT_PTR IDEvent, UINT Elapse);
/// Stops timer IDEvent of Wnd; false when it does not run. Thread-safe.
bool KillTimer(HWND Wnd, UINT_PTR IDEvent);
/// Calls the procedure of Wnd directly on the calling thread, which must be
/// its owner; returns the message's Result (0 when Wnd does not exist).
LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

} // namespace vexo
