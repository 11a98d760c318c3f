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

#include <vexo/platform/Activation.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

namespace vexo::sim {

/// Runs fn on the calling thread (one of the server's own) inside the
/// multithreaded apartment: in a server process the sinks it calls are
/// proxies, which need the thread in an apartment. Whatever fn holds of COM
/// must be released inside fn.
template <class F> void InMultithreadedApartment(F &&fn) {
    const HRESULT entered = platform::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    fn();
    if (SUCCEEDED(entered))
        platform::CoUninitialize();
}

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

/// A task-memory array of n elements left unwritten, for a caller that fills
/// every element (at least one element is allocated so that an empty answer
/// is still a block the caller can free); throws std::bad_alloc when out of
/// memory.
template <class T> T *UnsetTaskArray(std::size_t n) {
    void *p = platform::CoTaskMemAlloc((n ? n : 1) * sizeof(T));
    if (!p)
        throw std::bad_alloc();
    return static_cast<T *>(p);
}

/// A zeroed task-memory array of n elements (at least one); throws
/// std::bad_alloc when out of memory.
template <class T> T *TaskArray(std::size_t n) {
    T *p = UnsetTaskArray<T>(n);
    std::memset(static_cast<void *>(p), 0, (n ? n : 1) * sizeof(T));
    return p;
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
