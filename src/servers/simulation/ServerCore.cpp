//===- ServerCore.cpp - shared state of one simulation server object ------===//
#include "ServerCore.h"

#include <vexo/platform/GlobalMemory.h>
#include <vexo/platform/Time.h>

#include "ComHelpers.h"
#include "Delivery.h"

namespace vexo::sim {

const StreamFormats &StreamFormats::Get() {
    static const StreamFormats formats{
        static_cast<CLIPFORMAT>(platform::RegisterClipboardFormatA("OPCSTMFORMATDATA")),
        static_cast<CLIPFORMAT>(platform::RegisterClipboardFormatA("OPCSTMFORMATDATATIME")),
        static_cast<CLIPFORMAT>(platform::RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE"))};
    return formats;
}

ServerCore::ServerCore(bool da10_) : da10(da10_) {
    platform::GetSystemTimeAsFileTime(&startTime);
    fakeMs_ = (ULONGLONG(startTime.dwHighDateTime) << 32 | startTime.dwLowDateTime) / 10000;
    randomState ^= static_cast<std::uint32_t>(fakeMs_);
    if (randomState == 0)
        randomState = 1;
}

ServerCore::~ServerCore() = default;

DWORD ServerCore::ReviseRate(DWORD requested) const {
    // Clients commonly keep the rate in a signed 32-bit field: a revision
    // that rounds past its largest value goes down a step instead.
    constexpr ULONGLONG kMaxRate = 0x7FFFFFFF;
    const ULONGLONG g = granularity ? granularity : 1;
    const ULONGLONG wanted = requested < kMaxRate ? requested : kMaxRate;
    if (wanted <= g)
        return static_cast<DWORD>(g);
    const ULONGLONG up = (wanted + g - 1) / g * g;
    return static_cast<DWORD>(up > kMaxRate ? wanted / g * g : up);
}

std::uint64_t ServerCore::NowMs() {
    if (manual_)
        return fakeMs_;
    FILETIME ft;
    platform::GetSystemTimeAsFileTime(&ft);
    return (ULONGLONG(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) / 10000;
}

FILETIME ServerCore::ToFileTime(std::uint64_t ms) {
    const ULONGLONG t = ms * 10000;
    return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

std::uint32_t ServerCore::NextRandom() {
    std::uint32_t x = randomState; // xorshift32: cheap and good enough for noise
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return randomState = x;
}

GroupState *ServerCore::FindGroupByName(vexo::platform::WideStringView name) {
    for (auto &[h, g] : groups)
        if (g->name == name && !g->removing)
            return g.get();
    return nullptr;
}

vexo::platform::WideString ServerCore::UniqueGroupName() {
    for (;;) {
        std::string n = "Group" + std::to_string(nextGroupNumber++);
        vexo::platform::WideString name(n.begin(), n.end());
        if (!FindGroupByName(name))
            return name;
    }
}

void ServerCore::QueueJob(Job job) {
    jobs.push_back(std::move(job));
    wake_ = true;
    cv_.notify_all();
}

void ServerCore::Submit(Job job, EarlyWork &early) {
    switch (completion) {
    case CompletionMode::OnScan:
    case CompletionMode::Reversed:
        QueueJob(std::move(job));
        return;
    case CompletionMode::BeforeReturn:
    case CompletionMode::BeforeReturnOtherThread:
        early.otherThread = completion == CompletionMode::BeforeReturnOtherThread;
        RunJob(job, NowMs(), early.deliveries);
        return;
    }
}

void ServerCore::DeleteGroup(const std::shared_ptr<GroupState> &g) {
    platform::ComPtr<IOPCDataCallback> callback;
    std::vector<StreamAdvise> advises;
    {
        std::lock_guard lock(mu);
        auto it = groups.find(g->handle);
        if (it != groups.end() && it->second == g)
            groups.erase(it);
        g->inNameSpace = false;
        g->removing = false;
        callback = std::move(g->callback);
        g->callbackCookie = 0;
        advises.swap(g->advises);
    }
    // No callback of the group starts after this point, and one running on
    // another thread has finished; the sinks are released without the lock.
    g->CloseGate();
}

EarlyWork::EarlyWork() = default;
EarlyWork::~EarlyWork() = default;

void EarlyWork::Deliver() {
    if (deliveries.empty())
        return;
    auto run = [this] {
        for (vexo::sim::Delivery &d : deliveries)
            vexo::sim::Deliver(d);
    };
    if (otherThread) {
        std::thread t([&run] { InMultithreadedApartment(run); });
        t.join();
    } else {
        run();
    }
    deliveries.clear();
}

void ServerCore::Wake() {
    wake_ = true;
    cv_.notify_all();
}

} // namespace vexo::sim
