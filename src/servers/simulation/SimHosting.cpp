//===- SimHosting.cpp - the hooks a server module keeps its process by ----===//
#include "SimHosting.h"

#include <atomic>

namespace vexo::sim {
namespace {

std::atomic<void (*)()> gAddRef{nullptr};
std::atomic<void (*)()> gRelease{nullptr};
std::atomic<long long> gRecordArrayCalls{0};

} // namespace

void SetHostHooks(HostHooks hooks) {
    gAddRef.store(hooks.AddRef, std::memory_order_release);
    gRelease.store(hooks.Release, std::memory_order_release);
}

void HostAddRef() {
    if (auto add = gAddRef.load(std::memory_order_acquire))
        add();
}

void HostRelease() {
    if (auto release = gRelease.load(std::memory_order_acquire))
        release();
}

void CountRecordArrayCall() { gRecordArrayCalls.fetch_add(1, std::memory_order_relaxed); }

long long RecordArrayCalls() { return gRecordArrayCalls.load(std::memory_order_relaxed); }

HostReference::HostReference() { HostAddRef(); }

HostReference::~HostReference() { HostRelease(); }

} // namespace vexo::sim
