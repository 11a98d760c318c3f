//===- ServerCore.h - the shared state of one simulation server object ----===//
//
// This file defines ServerCore: everything a server object and its groups
// share (address space, groups by handle, settings, clock, queued
// asynchronous work, shutdown sinks, call log and planned faults) behind one
// lock, plus the scan engine that runs on it. The server object, its group
// objects and the scan thread each hold a shared_ptr to the core, so that the
// scan thread can finish safely even when the last server reference goes
// away on the scan thread itself.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <map>
#include <vector>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/StreamLayout.h>
#include <vexo/platform/ComPtr.h>
#include <vexo/platform/WideString.h>

#include "AddressSpace.h"
#include "CallLog.h"
#include "FaultPlan.h"
#include "GroupState.h"
#include "SimHosting.h"
#include "SimProcess.h"

namespace vexo::sim {

struct Delivery;

/// Asynchronous work queued for the scan thread (or the next manual scan).
struct Job {
    enum Kind { Read2, Write2, Refresh2, Cancel2Notice, Read1, Write1, Refresh1, Initial, Shutdown };
    /// Who hears an initial update.
    enum Audience { NewCallback, NewAdvise, AllListeners };
    Kind kind;
    std::shared_ptr<GroupState> group;
    DWORD transactionId = 0; ///< client's id (DA 2.0) or the server's (DA 1.0)
    DWORD cancelId = 0;
    DWORD connection = 0;    ///< the advise a DA 1.0 call or a NewAdvise update names
    Audience audience = AllListeners;
    OPCDATASOURCE source = OPC_DS_DEVICE;
    std::vector<OPCHANDLE> handles; ///< server handles, valid at queue time
    std::vector<SimVar> values;     ///< writes
    vexo::platform::WideString reason;          ///< shutdown
};

/// When asynchronous results reach the client (IVexoSimControl::SetCompletionMode).
enum class CompletionMode { OnScan, BeforeReturn, BeforeReturnOtherThread, Reversed };

/// Callbacks of work run at once in an early completion mode, made by the
/// calling method after it let go of the server lock, before it returns.
struct EarlyWork {
    std::vector<Delivery> deliveries;
    bool otherThread = false;
    EarlyWork();
    ~EarlyWork();
    EarlyWork(const EarlyWork &) = delete;
    EarlyWork &operator=(const EarlyWork &) = delete;
    /// Makes the callbacks (on this thread, or on another one while this one
    /// waits). Caller holds no server lock.
    void Deliver();
};

/// The stream formats, registered once per process.
struct StreamFormats {
    CLIPFORMAT data, dataTime, writeComplete;
    static const StreamFormats &Get();
};

class ServerCore : public std::enable_shared_from_this<ServerCore> {
  public:
    explicit ServerCore(bool da10);
    ~ServerCore();

    // --- immutable ---
    const bool da10;
    const HostReference hostReference; ///< the server module stays while the core lives

    // --- guarded by mu ---
    std::mutex mu;
    AddressSpace space;
    std::map<OPCHANDLE, std::shared_ptr<GroupState>> groups; ///< handle order = scan order
    OPCHANDLE nextGroupHandle = 1;
    DWORD nextGroupNumber = 1;
    DWORD granularity = 100;
    bool distinctCancelIds = true; ///< real servers' cancel ids are their own
    CompletionMode completion = CompletionMode::OnScan;
    bool forceChange = false;
    const opc::StreamLayout *streamLayout = &opc::NativeStreamLayout; ///< of data streams
    std::optional<OPCSERVERSTATUS> statusOverride;
    vexo::platform::WideString statusVendor;
    LCID locale = 0x0409;
    vexo::platform::WideString clientName;
    std::vector<IID> withheldOnGroups;
    std::vector<IID> withheldOnServer;
    std::vector<std::pair<DWORD, platform::ComPtr<IOPCShutdown>>> shutdownSinks;
    DWORD nextCookie = 1;
    DWORD nextTransaction = 1;
    DWORD nextCancel = 0x10001;
    std::deque<Job> jobs;
    FILETIME startTime{};
    FILETIME lastUpdate{};
    std::uint32_t randomState = 0x9E3779B9u;
    vexo::platform::WideString browsePosition; ///< one client per server object

    // --- thread-safe on their own ---
    CallLog log;
    FaultPlan faults;

    // --- set before the scan thread starts, then fixed ---
    std::shared_ptr<SimProcess> process; ///< null: a process of its own that never ends
    std::uint64_t life = 0;              ///< the process's life this object was made in

    /// S_OK while the process this object was made in runs, else the code
    /// every call fails with.
    HRESULT Lost() const { return process ? process->LostCode(life) : S_OK; }

    /// Logs a call (args() builds the argument text only when logging is on)
    /// and answers the lost-connection code, the failure planned for it, or S_OK.
    template <class F> HRESULT Enter(const char *method, F &&args) {
        if (log.Enabled()) {
            std::string a = args();
            log.Add(a.empty() ? std::string(method) : std::string(method) + " " + a);
        }
        if (const HRESULT lost = Lost(); FAILED(lost))
            return lost;
        return faults.TakeFailure(method);
    }
    HRESULT Enter(const char *method) {
        return Enter(method, [] { return std::string(); });
    }

    /// Revised update rate for a request (multiples of the granularity, never
    /// above 0x7FFFFFFF so that signed 32-bit clients hold it too).
    DWORD ReviseRate(DWORD requested) const;
    /// The clock (fake in manual mode), in ms since 1601 (FILETIME / 10000). Caller holds mu.
    std::uint64_t NowMs();
    static FILETIME ToFileTime(std::uint64_t ms);
    std::uint32_t NextRandom();
    /// The name the server gives a group created without one (unique).
    vexo::platform::WideString UniqueGroupName();
    /// The listed group of that name (not one marked for deletion), or nullptr.
    GroupState *FindGroupByName(vexo::platform::WideStringView name);
    /// Queues work and wakes the scan thread. Caller holds mu.
    void QueueJob(Job job);
    /// Queues work for the scan, or in an early completion mode runs it now and
    /// leaves its callbacks in early for the caller to make before it returns.
    /// Caller holds mu.
    void Submit(Job job, EarlyWork &early);
    /// Takes a group out of the server: no callback of it starts afterwards,
    /// one running on another thread has finished, its sinks are released.
    /// Caller does not hold mu.
    void DeleteGroup(const std::shared_ptr<GroupState> &g);
    /// Wakes the scan thread (group state changed). Caller holds mu.
    void Wake();

    // --- scan engine (ScanEngine.cpp) ---
    /// Starts the scan thread (threaded mode). Caller does not hold mu.
    void StartThread();
    /// Stops the scan thread: joins it, or detaches it when called on it.
    void StopThread();
    /// Caller holds mu.
    bool Manual() const { return manual_; }
    /// Switches manual mode (stopping or starting the thread). Caller does not hold mu.
    void SetManual(bool manual);
    /// Manual mode: advances the fake clock and runs one scan on this thread.
    HRESULT RunManualScan(DWORD advanceMs);
    /// Releases every sink and group; called once when the server object goes.
    void Shutdown();

  private:
    void ThreadMain();
    void ScanOnce(std::uint64_t nowMs);
    /// Runs one job and appends its callbacks. Caller holds mu.
    void RunJob(Job &job, std::uint64_t nowMs, std::vector<Delivery> &out);
    void InitialUpdate(Job &job, std::uint64_t nowMs, std::vector<Delivery> &out);
    void ScanGroup(const std::shared_ptr<GroupState> &g, std::uint64_t nowMs,
                   std::vector<Delivery> &out);

    std::condition_variable cv_;
    bool wake_ = false;
    bool stop_ = false;
    bool manual_ = false;
    std::uint64_t fakeMs_ = 0;
    std::thread thread_;
};

} // namespace vexo::sim
