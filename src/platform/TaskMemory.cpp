//===- TaskMemory.cpp - COM task allocator with live-block counters ------===//
//
// This file implements CoTaskMemAlloc and friends on top of malloc. Two
// relaxed atomic counters (allocations, frees) make the accounting cost one
// uncontended atomic add per call; the live count is their difference.
// Large blocks go through a small cache of freed blocks (see BlockCache).
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/TaskMemory.h>

#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define VEXO_KEEP_FREED_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEXO_KEEP_FREED_BLOCKS 0
#endif
#endif
#ifndef VEXO_KEEP_FREED_BLOCKS
#define VEXO_KEEP_FREED_BLOCKS 1
#endif

namespace vexo::platform {
namespace {

std::atomic<long long> gAllocs{0};
std::atomic<long long> gFrees{0};

std::size_t UsableSize(void *P) {
#ifdef _WIN32
    return _msize(P);
#else
    return malloc_usable_size(P);
#endif
}

/// Freed large blocks kept for the next requests. A batch of many items
/// allocates and frees arrays of megabytes on every call, and the system
/// hands out fresh pages one fault at a time, each zeroed, which costs more
/// than the work done on them; malloc returns such blocks to the system
/// at once. A few blocks are kept, within a byte budget and only while they
/// are reused: a block idle for longer than MaxIdle goes back at the next
/// large request or free. A block serves a request that uses at least half
/// of it. Address-sanitized builds keep none, so that a use after free of a
/// large block is still caught.
class BlockCache {
  public:
    static constexpr std::size_t MinBytes = 256 * 1024;

    /// A kept block of at least Bytes (and at most twice that), or nullptr.
    void *Take(std::size_t Bytes) {
        const auto Now = Clock::now();
        void *Found = nullptr;
        Entry Expired[MaxBlocks];
        int NExpired = 0;
        {
            std::lock_guard<std::mutex> Lock(FLock);
            NExpired = TakeExpired(Now, Expired);
            int Best = -1;
            for (int I = 0; I < FCount; ++I)
                if (FBlocks[I].Size >= Bytes && FBlocks[I].Size / 2 <= Bytes &&
                    (Best < 0 || FBlocks[I].Size < FBlocks[Best].Size))
                    Best = I;
            if (Best >= 0) {
                Found = FBlocks[Best].Block;
                Remove(Best);
            }
        }
        for (int I = 0; I < NExpired; ++I)
            std::free(Expired[I].Block);
        return Found;
    }

    /// Keeps P (of usable size Size) for reuse; false when it is to be freed.
    bool Keep(void *P, std::size_t Size) {
        if (Size > MaxBytes)
            return false;
        const auto Now = Clock::now();
        Entry Evicted[MaxBlocks];
        int NEvicted = 0;
        {
            std::lock_guard<std::mutex> Lock(FLock);
            NEvicted = TakeExpired(Now, Evicted);
            // Room is made by dropping the blocks kept longest.
            while (FCount == MaxBlocks || FBytes + Size > MaxBytes) {
                Evicted[NEvicted++] = FBlocks[0];
                Remove(0);
            }
            FBlocks[FCount++] = {P, Size, Now};
            FBytes += Size;
        }
        for (int I = 0; I < NEvicted; ++I)
            std::free(Evicted[I].Block);
        return true;
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr int MaxBlocks = 8;
    static constexpr std::size_t MaxBytes = std::size_t{256} << 20;
    static constexpr auto MaxIdle = std::chrono::seconds(2);

    struct Entry {
        void *Block;
        std::size_t Size;
        Clock::time_point Freed;
    };

    /// Removes the entry at I, keeping the others in the order they were freed.
    void Remove(int I) {
        FBytes -= FBlocks[I].Size;
        for (int J = I + 1; J < FCount; ++J)
            FBlocks[J - 1] = FBlocks[J];
        --FCount;
    }

    /// Moves the blocks idle for too long into Out; returns their number.
    int TakeExpired(Clock::time_point Now, Entry *Out) {
        int N = 0;
        while (FCount > 0 && Now - FBlocks[0].Freed > MaxIdle) {
            Out[N++] = FBlocks[0];
            Remove(0);
        }
        return N;
    }

    std::mutex FLock;
    Entry FBlocks[MaxBlocks];
    int FCount = 0;
    std::size_t FBytes = 0;
};

/// The process's cache; never destroyed, so that blocks freed during the
/// destruction of other statics still find it.
BlockCache &Cache() {
    static BlockCache *C = new BlockCache;
    return *C;
}

} // namespace

void *CoTaskMemAlloc(SIZE_T cb) {
    void *p = nullptr;
    if (VEXO_KEEP_FREED_BLOCKS && cb >= BlockCache::MinBytes)
        p = Cache().Take(cb);
    // A zero-byte request still yields a distinct block, as on Windows.
    if (!p)
        p = std::malloc(cb ? cb : 1);
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
    gFrees.fetch_add(1, std::memory_order_relaxed);
    if (VEXO_KEEP_FREED_BLOCKS) {
        const std::size_t Size = UsableSize(pv);
        if (Size >= BlockCache::MinBytes && Cache().Keep(pv, Size))
            return;
    }
    std::free(pv);
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
