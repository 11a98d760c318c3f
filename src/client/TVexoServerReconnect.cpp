//===- TVexoServerReconnect.cpp - staying connected ----------------------===//
//
// This file implements the reconnection policy of TVexoServer. It has no
// thread of its own: two timers of the component's message target drive it
// on the owner thread, one for the keep-alive status check and one for the
// next attempt. A connection is found lost by a shutdown request, by the
// keep-alive check, or by any checked server call that fails with a
// lost-connection code: OPCCheck's observer then posts CM_OPCCHECKCONNECTION
// to every watching component of that thread, and each asks its server's
// status from the message loop, where no half-done operation is on the stack.
// With the policy off none of this runs.
//
//===----------------------------------------------------------------------===//

#include <algorithm>
#include <exception>
#include <vector>

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/Messages.h>
#include <vexo/platform/TaskMemory.h>

namespace vexo {

namespace {

constexpr UINT_PTR ReconnectTimer = 1;
constexpr UINT_PTR KeepAliveTimer = 2;

/// The message targets of this thread's components that watch their
/// connection. A component leaves the list when it stops watching; a target
/// that is gone (its component died elsewhere) is dropped at the next post.
std::vector<HWND> &WatchingTargets() {
    thread_local std::vector<HWND> Targets;
    return Targets;
}

void NoteFailedCheck(HRESULT Code) {
    if (!IsConnectionLost(Code))
        return;
    try {
        std::erase_if(WatchingTargets(),
                      [](HWND Wnd) { return !PostMessage(Wnd, CM_OPCCHECKCONNECTION, 0, 0); });
    } catch (...) {
        // The observer must not raise into the check that called it.
    }
}

void RequireAtLeast(const char *Name, int Value, int Least) {
    if (Value < Least)
        throw Exception(std::string(Name) + " must be at least " + std::to_string(Least) +
                        ", not " + std::to_string(Value));
}

} // namespace

const char *ConnectionStateToStr(TVexoConnectionState State) {
    switch (State) {
    case conConnected:
        return "connected";
    case conLost:
        return "lost";
    case conReconnecting:
        return "reconnecting";
    case conReconnected:
        return "reconnected";
    case conGivenUp:
        return "given up";
    }
    return "";
}

// --- Published settings ---------------------------------------------------------

void TVexoServer::SetAutoReconnect(bool Value) {
    FAutoReconnect = Value;
    if (IsLoading())
        return;
    if (!Value) {
        CancelReconnect();
        StopWatching();
    } else if (FActive) {
        StartWatching();
    }
}

void TVexoServer::SetReconnectDelay(int Value) {
    RequireAtLeast("ReconnectDelay", Value, 1);
    FReconnectDelay = Value;
}

void TVexoServer::SetReconnectMaxDelay(int Value) {
    RequireAtLeast("ReconnectMaxDelay", Value, 1);
    FReconnectMaxDelay = Value;
}

void TVexoServer::SetReconnectAttempts(int Value) {
    RequireAtLeast("ReconnectAttempts", Value, 0);
    FReconnectAttempts = Value;
}

void TVexoServer::SetKeepAliveInterval(int Value) {
    RequireAtLeast("KeepAliveInterval", Value, 0);
    FKeepAliveInterval = Value;
    if (!IsLoading() && FActive && FAutoReconnect)
        StartWatching(); // restarts the timer with the new interval
}

// --- Watching a connection --------------------------------------------------------

void TVexoServer::StartWatching() {
    if (!FAutoReconnect)
        return;
    static const bool Installed = (SetOPCCheckObserver(&NoteFailedCheck), true);
    (void)Installed;
    const HWND Wnd = GetHandle();
    std::vector<HWND> &Targets = WatchingTargets();
    if (std::find(Targets.begin(), Targets.end(), Wnd) == Targets.end())
        Targets.push_back(Wnd);
    if (FKeepAliveInterval > 0)
        SetTimer(Wnd, KeepAliveTimer, static_cast<UINT>(FKeepAliveInterval));
    else
        KillTimer(Wnd, KeepAliveTimer);
}

void TVexoServer::StopWatching() {
    if (FHandle == 0)
        return;
    KillTimer(FHandle, KeepAliveTimer);
    std::erase(WatchingTargets(), FHandle);
}

void TVexoServer::CheckConnection() {
    if (!FActive || !FServerIF || !FAutoReconnect)
        return;
    OPCSERVERSTATUS *Status = nullptr;
    const HRESULT Hr = FServerIF->GetStatus(&Status);
    if (Status) {
        platform::CoTaskMemFree(Status->szVendorInfo);
        platform::CoTaskMemFree(Status);
    }
    // A server that refuses or fails the call otherwise is still there.
    if (IsConnectionLost(Hr))
        LoseConnection();
}

void TVexoServer::CMOPCCheckConnection(TMessage &) { CheckConnection(); }

void TVexoServer::WMTimer(TMessage &Message) {
    if (Message.WParam == KeepAliveTimer)
        CheckConnection();
    else if (Message.WParam == ReconnectTimer)
        RunAttempt();
}

// --- Losing and regaining it -------------------------------------------------------

void TVexoServer::LoseConnection() {
    const bool Recover = FAutoReconnect && FActive;
    if (!Recover) {
        SetActive(false);
        return;
    }
    // The first attempt is planned whatever the disconnect handlers do, unless
    // one of them connects again, disconnects for good or turns the policy off.
    // A handler may free the component; nothing of it is touched after that.
    const std::weak_ptr<const bool> Alive = FAlive;
    std::exception_ptr Raised;
    try {
        SetActive(false);
    } catch (...) {
        Raised = std::current_exception();
    }
    if (!Alive.expired() && !FActive && FAutoReconnect && !FReconnectPending) {
        FReconnectError.clear();
        PlanAttempt(1, FReconnectDelay);
        if (ReportState(conLost, 0, 0) && FReconnectPending && FAttempt == 1)
            ReportState(conReconnecting, 1, FNextDelay);
    }
    if (Raised)
        std::rethrow_exception(Raised);
}

void TVexoServer::PlanAttempt(int Attempt, int Delay) {
    FAttempt = Attempt;
    FNextDelay = Delay;
    FReconnectPending = SetTimer(GetHandle(), ReconnectTimer, static_cast<UINT>(Delay));
}

void TVexoServer::CancelReconnect() {
    if (!FReconnectPending)
        return;
    FReconnectPending = false;
    FAttempt = 0;
    if (FHandle != 0)
        KillTimer(FHandle, ReconnectTimer);
}

void TVexoServer::RunAttempt() {
    if (!FReconnectPending)
        return; // a late tick of a cancelled attempt
    FReconnectPending = false;
    KillTimer(FHandle, ReconnectTimer);
    const int Attempt = FAttempt;
    const WPARAM Before = FConnectionNumber;
    const std::weak_ptr<const bool> Alive = FAlive;
    std::exception_ptr Failure;
    try {
        Connect();
    } catch (...) {
        Failure = std::current_exception();
    }
    if (Alive.expired()) {
        // A connect handler freed the component; what failed still gets reported.
        if (Failure) {
            try {
                std::rethrow_exception(Failure);
            } catch (...) {
                Application->HandleException(nullptr);
            }
        }
        return;
    }
    if (FConnectionNumber != Before) {
        // The server was reached. An error from creating a group or from
        // OnConnect is the application's to see; the connection stands,
        // unless a handler ended it, which ends the outage as well.
        FAttempt = 0;
        FReconnectError.clear();
        if (Failure) {
            try {
                std::rethrow_exception(Failure);
            } catch (...) {
                Application->HandleException(this);
            }
        }
        if (Alive.expired() || !FActive)
            return;
        RefreshGroups();
        ReportState(conReconnected, Attempt, 0);
        return;
    }
    try {
        if (Failure)
            std::rethrow_exception(Failure);
        FReconnectError.clear();
    } catch (const Exception &E) {
        FReconnectError = E.Message();
    } catch (const std::exception &E) {
        FReconnectError = E.what();
    } catch (...) {
        FReconnectError = "Unknown exception";
    }
    if (!FAutoReconnect)
        return;
    if (FReconnectAttempts > 0 && Attempt >= FReconnectAttempts) {
        FAttempt = 0;
        ReportState(conGivenUp, Attempt, 0);
        return;
    }
    const long long Limit = std::max(FReconnectMaxDelay, FReconnectDelay);
    const int Delay = static_cast<int>(std::min(2LL * FNextDelay, Limit));
    PlanAttempt(Attempt + 1, Delay);
    ReportState(conReconnecting, Attempt + 1, Delay);
}

void TVexoServer::RefreshGroups() {
    for (int I = 0; I < FOPCGroups->Count() && FActive; ++I) {
        TVexoGroup *Group = FOPCGroups->GetItem(I);
        if (!Group->IsOnServer() || !Group->IsActive())
            continue;
        TVexoItems *Items = Group->OPCItems();
        bool AnyActive = false;
        for (int J = 0; J < Items->Count() && !AnyActive; ++J)
            AnyActive = Items->GetItem(J)->IsActive() &&
                        Items->GetItem(J)->ServerHandle() != static_cast<OPCHANDLE>(-1);
        if (!AnyActive)
            continue;
        try {
            Group->Refresh(true);
        } catch (...) {
            Application->HandleException(this);
        }
    }
}

bool TVexoServer::ReportState(TVexoConnectionState State, int Attempt, int NextDelay) {
    if (!OnConnectionState)
        return true;
    const std::weak_ptr<const bool> Alive = FAlive;
    try {
        // A copy: the handler may free the component and with it the event.
        const auto Handler = OnConnectionState;
        Handler(this, State, Attempt, NextDelay);
    } catch (...) {
        if (Alive.expired())
            Application->HandleException(nullptr);
        else
            Application->HandleException(this);
    }
    return !Alive.expired();
}

} // namespace vexo
