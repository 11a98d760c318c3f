//===- TaskMemory.cpp - COM task allocator with live-block counters ------===//
//
// This file implements CoTaskMemAlloc and friends on top of malloc. Two
// relaxed atomic counters (allocations, frees) make the accounting cost one
// uncontended atomic add per call; the live count is their difference.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/TaskMemory.h>

#include <atomic>
#include <cstdlib>

namespace vexo::platform {
namespace {

std::atomic<long long> gAllocs{0};
std::atomic<long long> gFrees{0};

} // namespace

void *CoTaskMemAlloc(SIZE_T cb) {
    // A zero-byte request still yields a distinct block, as on Windows.
    void *p = std::malloc(cb ? cb : 1);
    if (p)
        gAllocs.fetch_add(1, std::memory_order_relaxed);
    return p;
}

void *CoTaskMemRealloc(void *pv, SIZE_T cb) {
    if (!pv)
        return CoTaskMemAlloc(cb);
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    // On failure the old block stays valid and counted.
    return std::realloc(pv, cb);
}

void CoTaskMemFree(void *pv) {
    if (!pv)
        return;
    std::free(pv);
    gFrees.fetch_add(1, std::memory_order_relaxed);
}

TaskMemoryStats GetTaskMemoryStats() {
    // Read frees first so that a concurrent alloc/free pair never shows a
    // negative live count.
    long long frees = gFrees.load(std::memory_order_acquire);
    long long allocs = gAllocs.load(std::memory_order_acquire);
    return {allocs - frees, allocs, frees};
}

long long TaskMemLiveBlocks() { return GetTaskMemoryStats().liveBlocks; }

} // namespace vexo::platform
