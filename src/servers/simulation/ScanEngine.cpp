//===- ScanEngine.cpp - the scan thread, manual scans and queued work -----===//
//
// A scan takes the server lock once: it runs the queued asynchronous work,
// then every active group that is due, and builds the callbacks. A due group
// brings its active items' values up to date whether or not anyone listens,
// so its cache is always current; only a listened group sends what changed.
// The scan then lets go of the lock and makes the callbacks, so a sink can
// call straight back into the server.
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <chrono>

#include <vexo/platform/Time.h>

#include "ComHelpers.h"
#include "Delivery.h"
#include "ItemAccess.h"
#include "ServerCore.h"

namespace vexo::sim {
namespace {

bool IsDataFormat(CLIPFORMAT f) {
    const auto &formats = StreamFormats::Get();
    return f == formats.data || f == formats.dataTime;
}

const StreamAdvise *FindAdvise(const GroupState &g, DWORD connection, bool write) {
    const CLIPFORMAT writeFormat = StreamFormats::Get().writeComplete;
    for (const auto &a : g.advises)
        if (a.connection == connection && (write ? a.format == writeFormat : IsDataFormat(a.format)))
            return &a;
    return nullptr;
}

bool Readable(const Item &item) { return (item.tag->rights & OPC_READABLE) != 0; }

bool HasListener(const GroupState &g) {
    if (g.callback && g.enabled)
        return true;
    for (const auto &a : g.advises)
        if (IsDataFormat(a.format))
            return true;
    return false;
}

void ApplyPlanned(ServerCore &core, const char *method, ItemBatch &batch) {
    const auto planned = core.faults.TakeItemErrors(method);
    for (std::size_t i = 0; i < planned.size(); ++i)
        batch.Override(i, planned[i]);
}

/// All active items of the group, read and remembered as sent.
void ReadAllActive(ServerCore &core, GroupState &g, bool device, std::uint64_t now,
                   ItemBatch &batch) {
    batch.Reserve(g.liveItems);
    for (Item &item : g.items) {
        if (!item.alive || !item.active)
            continue;
        ReadItem(core, g, item, device, now, batch);
        MarkSent(item);
    }
}

} // namespace

void ServerCore::RunJob(Job &job, std::uint64_t now, std::vector<Delivery> &out) {
    Delivery d;
    d.streamLayout = streamLayout;
    if (job.kind == Job::Shutdown) {
        d.kind = Delivery::Shutdown;
        d.reason = job.reason;
        for (auto &[cookie, sink] : shutdownSinks)
            d.shutdownSinks.push_back(sink);
        out.push_back(std::move(d));
        return;
    }
    GroupState &g = *job.group;
    if (!g.inNameSpace)
        return; // the group went away while the work waited
    if (job.kind == Job::Initial) {
        InitialUpdate(job, now, out);
        return;
    }
    const FILETIME stamp = ToFileTime(now);
    d.group = job.group;
    d.clientGroup = g.clientHandle;
    d.transactionId = job.transactionId;
    d.callback = g.callback;
    const bool device = job.source == OPC_DS_DEVICE;
    switch (job.kind) {
    case Job::Read2:
    case Job::Read1:
        for (OPCHANDLE h : job.handles)
            if (Item *item = g.FindItem(h))
                ReadItem(*this, g, *item, job.kind == Job::Read2 || device, now, d.batch);
        ApplyPlanned(*this, "OnReadComplete", d.batch);
        d.kind = Delivery::ReadComplete;
        break;
    case Job::Write2:
    case Job::Write1:
        for (std::size_t i = 0; i < job.handles.size(); ++i)
            if (Item *item = g.FindItem(job.handles[i]))
                d.batch.Add(item->hClient, nullptr, 0, stamp,
                            WriteItem(*this, *item, job.values[i].Get(), now));
        ApplyPlanned(*this, "OnWriteComplete", d.batch);
        d.kind = Delivery::WriteComplete;
        break;
    case Job::Refresh2:
    case Job::Refresh1:
        if (!g.active)
            return;
        ReadAllActive(*this, g, device, now, d.batch);
        ApplyPlanned(*this, "OnDataChange", d.batch);
        d.kind = Delivery::DataChange;
        break;
    case Job::Cancel2Notice:
        d.kind = Delivery::CancelComplete;
        break;
    case Job::Initial:
    case Job::Shutdown:
        return;
    }
    // DA 1.0 work answers through the advise it named, never the callback:
    // reads and refreshes through a data advise, writes through a
    // write-complete advise.
    if (job.kind == Job::Read1 || job.kind == Job::Refresh1 || job.kind == Job::Write1) {
        const bool write = job.kind == Job::Write1;
        const StreamAdvise *a = FindAdvise(g, job.connection, write);
        if (!a)
            return;
        d.callback = nullptr;
        d.streams.push_back(*a);
        d.kind = write ? Delivery::WriteStream : Delivery::Stream;
    }
    out.push_back(std::move(d));
}

void ServerCore::InitialUpdate(Job &job, std::uint64_t now, std::vector<Delivery> &out) {
    GroupState &g = *job.group;
    if (!g.active)
        return;
    Delivery d;
    d.streamLayout = streamLayout;
    d.kind = Delivery::DataChange;
    d.group = job.group;
    d.clientGroup = g.clientHandle;
    switch (job.audience) {
    case Job::NewCallback:
        if (g.callback && g.enabled)
            d.callback = g.callback;
        break;
    case Job::NewAdvise:
        if (const StreamAdvise *a = FindAdvise(g, job.connection, false)) {
            d.streams.push_back(*a);
            d.kind = Delivery::Stream;
        }
        break;
    case Job::AllListeners:
        if (g.callback && g.enabled)
            d.callback = g.callback;
        for (const auto &a : g.advises)
            if (IsDataFormat(a.format))
                d.streams.push_back(a);
        break;
    }
    if (!d.callback && d.streams.empty())
        return;
    // The first values a listener hears are scanned ones, never what an item
    // held before its first scan.
    const FILETIME stamp = ToFileTime(now);
    d.batch.Reserve(g.liveItems);
    for (Item &item : g.items) {
        if (!item.alive || !item.active || !Readable(item))
            continue;
        item.tag->Evaluate(now, stamp, forceChange, NextRandom());
        ReadItem(*this, g, item, false, now, d.batch);
        MarkSent(item);
    }
    if (d.batch.Size() == 0)
        return;
    ApplyPlanned(*this, "OnDataChange", d.batch);
    lastUpdate = stamp;
    out.push_back(std::move(d));
}

void ServerCore::ScanGroup(const std::shared_ptr<GroupState> &gp, std::uint64_t now,
                           std::vector<Delivery> &out) {
    GroupState &g = *gp;
    if (!g.active || g.nextDueMs > now)
        return;
    g.nextDueMs = now + g.rate;
    const bool listened = HasListener(g);
    const FILETIME stamp = ToFileTime(now);
    Delivery d;
    for (Item &item : g.items) {
        if (!item.alive || !item.active)
            continue;
        item.tag->Evaluate(now, stamp, forceChange, NextRandom());
        // Unheard items stay unsent, so a listener advised later hears them.
        if (!listened || !Readable(item) || !HasChanged(g, item))
            continue;
        if (d.batch.Size() == 0)
            d.batch.Reserve(g.liveItems);
        ReadItem(*this, g, item, false, now, d.batch);
        MarkSent(item);
    }
    if (d.batch.Size() == 0)
        return;
    ApplyPlanned(*this, "OnDataChange", d.batch);
    lastUpdate = stamp;
    d.kind = Delivery::DataChange;
    d.streamLayout = streamLayout;
    d.group = gp;
    d.clientGroup = g.clientHandle;
    if (g.enabled)
        d.callback = g.callback;
    for (const auto &a : g.advises)
        if (IsDataFormat(a.format))
            d.streams.push_back(a);
    out.push_back(std::move(d));
}

void ServerCore::ScanOnce(std::uint64_t now) {
    std::vector<Delivery> out;
    {
        std::lock_guard lock(mu);
        if (FAILED(Lost())) {
            jobs.clear(); // a gone server calls nobody back
            return;
        }
        std::deque<Job> work;
        work.swap(jobs);
        if (completion == CompletionMode::Reversed)
            std::reverse(work.begin(), work.end()); // the last call's results first
        for (Job &job : work)
            RunJob(job, now, out);
        for (auto &[handle, g] : groups)
            ScanGroup(g, now, out);
    }
    for (Delivery &d : out)
        Deliver(d);
}

void ServerCore::ThreadMain() {
    std::unique_lock lock(mu);
    while (!stop_) {
        wake_ = false;
        const std::uint64_t now = NowMs();
        lock.unlock();
        ScanOnce(now);
        lock.lock();
        if (stop_)
            break;
        if (!jobs.empty() || wake_)
            continue;
        std::uint64_t next = NowMs() + 1000;
        for (auto &[h, g] : groups)
            if (g->active && g->nextDueMs < next)
                next = g->nextDueMs;
        const std::uint64_t current = NowMs();
        const auto wait = std::chrono::milliseconds(next > current ? next - current : 0);
        cv_.wait_for(lock, wait, [&] { return stop_ || wake_; });
    }
}

void ServerCore::StartThread() {
    std::lock_guard lock(mu);
    if (thread_.joinable() || manual_)
        return;
    stop_ = false;
    thread_ = std::thread([self = shared_from_this()]() mutable {
        InMultithreadedApartment([&] {
            self->ThreadMain();
            self.reset(); // the core and the sinks it holds go inside the apartment
        });
    });
}

void ServerCore::StopThread() {
    std::thread t;
    {
        std::lock_guard lock(mu);
        stop_ = true;
        cv_.notify_all();
        t = std::move(thread_);
    }
    if (!t.joinable())
        return;
    if (t.get_id() == std::this_thread::get_id())
        t.detach(); // the thread holds the core and leaves its loop when this call returns
    else
        t.join();
}

void ServerCore::SetManual(bool manual) {
    if (manual) {
        StopThread();
        std::lock_guard lock(mu);
        if (!manual_) {
            FILETIME ft;
            platform::GetSystemTimeAsFileTime(&ft);
            fakeMs_ = (ULONGLONG(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) / 10000;
        }
        manual_ = true;
        return;
    }
    {
        std::lock_guard lock(mu);
        manual_ = false;
    }
    StartThread();
}

HRESULT ServerCore::RunManualScan(DWORD advanceMs) {
    std::uint64_t now;
    {
        std::lock_guard lock(mu);
        if (!manual_)
            return E_UNEXPECTED;
        fakeMs_ += advanceMs;
        now = fakeMs_;
    }
    ScanOnce(now);
    return S_OK;
}

void ServerCore::Shutdown() {
    StopThread();
    std::map<OPCHANDLE, std::shared_ptr<GroupState>> gone;
    std::vector<std::pair<DWORD, platform::ComPtr<IOPCShutdown>>> sinks;
    std::deque<Job> work;
    std::vector<platform::ComPtr<IUnknown>> released;
    {
        std::lock_guard lock(mu);
        gone.swap(groups);
        sinks.swap(shutdownSinks);
        work.swap(jobs);
        for (auto &[h, g] : gone) {
            g->inNameSpace = false;
            released.emplace_back(g->callback.Get());
            g->callback = nullptr;
            for (auto &a : g->advises)
                released.emplace_back(a.sink.Get());
            g->advises.clear();
        }
    }
    // Sinks are released here, with no lock held, because a client's sink may
    // call back into the server from its destructor.
}

} // namespace vexo::sim
