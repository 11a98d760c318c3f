//===- TaskMemory.h - COM task memory with live-block accounting ---------===//
//
// This file declares the task allocator through which every COM out-parameter
// travels, with process-wide counters that tests read to prove that nothing
// was leaked ("every status call releases exactly two blocks").
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/platform/ComBase.h>

namespace vexo::platform {

#ifdef _WIN32
using ::CoTaskMemAlloc;
using ::CoTaskMemFree;
using ::CoTaskMemRealloc;
#else
/// Allocates a task-memory block; nullptr when out of memory. Thread-safe.
void *CoTaskMemAlloc(SIZE_T cb);
/// Resizes a block (nullptr allocates, size 0 frees). Thread-safe.
void *CoTaskMemRealloc(void *pv, SIZE_T cb);
/// Frees a block; nullptr is ignored. Thread-safe.
void CoTaskMemFree(void *pv);
#endif

/// Counters of the task allocator, read atomically. On Windows they count the
/// blocks that any code of the process allocates from the first read on (a
/// spy on the system's allocator), BSTRs and SAFEARRAYs among them.
struct TaskMemoryStats {
    long long liveBlocks;  ///< allocated and not yet freed
    long long totalAllocs; ///< allocations since start
    long long totalFrees;  ///< frees since start
};
TaskMemoryStats GetTaskMemoryStats();
/// Shorthand for GetTaskMemoryStats().liveBlocks.
long long TaskMemLiveBlocks();

} // namespace vexo::platform
