//===- GlobalMemory.cpp - global memory handles --------------------------===//
//
// This file implements global-memory handles. A handle is the address of a
// small record (size, lock count, data) that is kept in a set of live
// handles, so freeing or locking a stale handle fails cleanly instead of
// touching freed memory.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/GlobalMemory.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_set>

namespace vexo::platform {
namespace {

struct Block {
    SIZE_T size;
    UINT locks;
    void *data;
};

struct Blocks {
    std::mutex mutex;
    std::unordered_set<Block *> live;
};

Blocks &Live() {
    static auto *b = new Blocks;
    return *b;
}

/// Caller holds the mutex.
Block *Find(HGLOBAL h) {
    auto *b = static_cast<Block *>(h);
    return Live().live.count(b) ? b : nullptr;
}

} // namespace

HGLOBAL GlobalAlloc(UINT /*uFlags*/, SIZE_T dwBytes) {
    // Blocks always start zeroed: GMEM_ZEROINIT costs nothing extra here.
    void *data = std::calloc(dwBytes ? dwBytes : 1, 1);
    if (!data)
        return nullptr;
    auto *b = new (std::nothrow) Block{dwBytes, 0, data};
    if (!b) {
        std::free(data);
        return nullptr;
    }
    std::lock_guard lock(Live().mutex);
    Live().live.insert(b);
    return b;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    if (!hMem)
        return nullptr;
    Block *b;
    {
        std::lock_guard lock(Live().mutex);
        b = Find(hMem);
        if (!b)
            return hMem;
        Live().live.erase(b);
    }
    std::free(b->data);
    delete b;
    return nullptr;
}

void *GlobalLock(HGLOBAL hMem) {
    std::lock_guard lock(Live().mutex);
    Block *b = Find(hMem);
    if (!b)
        return nullptr;
    ++b->locks;
    return b->data;
}

BOOL GlobalUnlock(HGLOBAL hMem) {
    std::lock_guard lock(Live().mutex);
    Block *b = Find(hMem);
    if (!b || b->locks == 0)
        return FALSE;
    return --b->locks > 0 ? TRUE : FALSE;
}

SIZE_T GlobalSize(HGLOBAL hMem) {
    std::lock_guard lock(Live().mutex);
    Block *b = Find(hMem);
    return b ? b->size : 0;
}

UINT GlobalLockCount(HGLOBAL hMem) {
    std::lock_guard lock(Live().mutex);
    Block *b = Find(hMem);
    return b ? b->locks : 0;
}

long long GlobalLiveBlocks() {
    std::lock_guard lock(Live().mutex);
    return static_cast<long long>(Live().live.size());
}

void ReleaseStgMedium(STGMEDIUM *pmedium) {
    if (!pmedium)
        return;
    if (pmedium->pUnkForRelease) {
        // The provider keeps ownership of the storage and frees it itself.
        pmedium->pUnkForRelease->Release();
    } else if (pmedium->tymed == TYMED_HGLOBAL) {
        GlobalFree(pmedium->hGlobal);
    }
    pmedium->tymed = TYMED_NULL;
    pmedium->hGlobal = nullptr;
    pmedium->pUnkForRelease = nullptr;
}

} // namespace vexo::platform
