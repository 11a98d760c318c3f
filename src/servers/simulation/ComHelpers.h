//===- ComHelpers.h - small helpers for the servers' COM methods ----------===//
//
// This file defines what every COM method of the servers uses: Guard (no C++
// exception leaves a method), task-memory arrays and strings for
// out-parameters, and the narrow text of wide strings for the call log.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

namespace vexo::sim {

/// Runs f and turns anything it throws into an HRESULT.
template <class F> HRESULT Guard(F &&f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc &) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

/// A zeroed task-memory array of n elements (at least one element is allocated
/// so that an empty answer is still a block the caller can free); throws
/// std::bad_alloc when out of memory.
template <class T> T *TaskArray(std::size_t n) {
    const std::size_t bytes = (n ? n : 1) * sizeof(T);
    void *p = platform::CoTaskMemAlloc(bytes);
    if (!p)
        throw std::bad_alloc();
    std::memset(p, 0, bytes);
    return static_cast<T *>(p);
}

/// A task-memory copy of s; throws std::bad_alloc when out of memory.
inline LPWSTR TaskString(vexo::platform::WideStringView s) {
    LPWSTR p = platform::TaskMemWideString(s);
    if (!p)
        throw std::bad_alloc();
    return p;
}

/// A wide input string as a view (nullptr = empty).
inline vexo::platform::WideStringView View(LPCWSTR s) {
    return s ? vexo::platform::WideStringView(s) : vexo::platform::WideStringView{};
}

/// UTF-8 text of a wide string, for the call log.
inline std::string Narrow(vexo::platform::WideStringView s) { return platform::Utf16ToUtf8(s); }

/// Frees a task-memory block held in a pointer and clears the pointer.
template <class T> void FreeTask(T *&p) {
    platform::CoTaskMemFree(p);
    p = nullptr;
}

} // namespace vexo::sim
