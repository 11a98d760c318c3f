//===- ServerCore.cpp - shared state of one simulation server object ------===//
#include "ServerCore.h"

#include <vexo/platform/GlobalMemory.h>
#include <vexo/platform/Time.h>

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
    const DWORD g = granularity ? granularity : 1;
    if (requested <= g)
        return g;
    const ULONGLONG up = (ULONGLONG(requested) + g - 1) / g * g;
    return up > 0xFFFFFFFFull ? requested / g * g : static_cast<DWORD>(up);
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

GroupState *ServerCore::FindGroupByName(std::u16string_view name) {
    for (auto &[h, g] : groups)
        if (g->name == name)
            return g.get();
    return nullptr;
}

std::u16string ServerCore::UniqueGroupName() {
    for (;;) {
        std::string n = "Group" + std::to_string(nextGroupNumber++);
        std::u16string name(n.begin(), n.end());
        if (!FindGroupByName(name))
            return name;
    }
}

void ServerCore::QueueJob(Job job) {
    jobs.push_back(std::move(job));
    wake_ = true;
    cv_.notify_all();
}

void ServerCore::Wake() {
    wake_ = true;
    cv_.notify_all();
}

} // namespace vexo::sim
