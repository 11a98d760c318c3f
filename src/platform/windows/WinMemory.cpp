//===- WinMemory.cpp - counted task and global memory on Windows ---------===//
//
// This file keeps the platform's memory counters over the real allocators.
// Task memory is counted by a spy on the system's task allocator, registered
// at the first read of the counters: it sees every block of the process,
// including those the system allocates for BSTRs, SAFEARRAYs and marshalled
// out-parameters, and counts a block as freed only if it saw it allocated.
// Global memory is counted in GlobalAlloc/GlobalFree of this library.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/GlobalMemory.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/Variant.h>

#include <atomic>
#include <mutex>

namespace vexo::platform {
namespace {

std::atomic<long long> gAllocs{0};
std::atomic<long long> gFrees{0};
std::atomic<long long> gGlobals{0};

/// Counts allocations and frees; it never changes a request.
class MallocSpy final : public IMallocSpy {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IMallocSpy)
            return E_NOINTERFACE;
        *ppv = static_cast<IMallocSpy *>(this);
        return S_OK;
    }
    // Lives as long as the process: never deleted.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T cbRequest) override { return cbRequest; }
    void *STDMETHODCALLTYPE PostAlloc(void *pActual) override {
        if (pActual)
            gAllocs.fetch_add(1, std::memory_order_relaxed);
        return pActual;
    }
    void *STDMETHODCALLTYPE PreFree(void *pRequest, BOOL fSpyed) override {
        if (pRequest && fSpyed)
            gFrees.fetch_add(1, std::memory_order_relaxed);
        return pRequest;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void *pRequest, SIZE_T cbRequest, void **ppNewRequest,
                                        BOOL fSpyed) override {
        *ppNewRequest = pRequest;
        // A resize to nothing frees, a resize of nothing allocates; the
        // latter is counted once its result is known.
        if (pRequest && cbRequest == 0 && fSpyed)
            gFrees.fetch_add(1, std::memory_order_relaxed);
        fromNothing_ = pRequest == nullptr;
        return cbRequest;
    }
    void *STDMETHODCALLTYPE PostRealloc(void *pActual, BOOL) override {
        if (fromNothing_ && pActual)
            gAllocs.fetch_add(1, std::memory_order_relaxed);
        fromNothing_ = false;
        return pActual;
    }
    void *STDMETHODCALLTYPE PreGetSize(void *pRequest, BOOL) override { return pRequest; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T cbActual, BOOL) override { return cbActual; }
    void *STDMETHODCALLTYPE PreDidAlloc(void *pRequest, BOOL) override { return pRequest; }
    int STDMETHODCALLTYPE PostDidAlloc(void *, BOOL, int fActual) override { return fActual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

  private:
    // The system calls the spy under its own lock, one call pair at a time.
    bool fromNothing_ = false;
};

void EnsureSpy() {
    static std::once_flag once;
    std::call_once(once, [] {
        static MallocSpy spy;
        CoRegisterMallocSpy(&spy);
    });
}

} // namespace

TaskMemoryStats GetTaskMemoryStats() {
    EnsureSpy();
    const long long allocs = gAllocs.load(std::memory_order_relaxed);
    const long long frees = gFrees.load(std::memory_order_relaxed);
    return TaskMemoryStats{allocs - frees, allocs, frees};
}

long long TaskMemLiveBlocks() { return GetTaskMemoryStats().liveBlocks; }

long long BStrLiveCount() { return 0; }

long long SafeArrayLiveCount() { return 0; }

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    HGLOBAL h = ::GlobalAlloc(uFlags, dwBytes);
    if (h)
        gGlobals.fetch_add(1, std::memory_order_relaxed);
    return h;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    if (!hMem)
        return nullptr;
    HGLOBAL left = ::GlobalFree(hMem);
    if (!left)
        gGlobals.fetch_sub(1, std::memory_order_relaxed);
    return left;
}

void ReleaseStgMedium(STGMEDIUM *pmedium) {
    if (!pmedium)
        return;
    if (pmedium->tymed == TYMED_HGLOBAL && !pmedium->pUnkForRelease) {
        GlobalFree(pmedium->hGlobal);
        pmedium->hGlobal = nullptr;
        pmedium->tymed = TYMED_NULL;
        return;
    }
    ::ReleaseStgMedium(pmedium);
}

UINT GlobalLockCount(HGLOBAL hMem) {
    const UINT flags = ::GlobalFlags(hMem);
    return flags == GMEM_INVALID_HANDLE ? 0 : (flags & GMEM_LOCKCOUNT);
}

long long GlobalLiveBlocks() { return gGlobals.load(std::memory_order_relaxed); }

} // namespace vexo::platform
