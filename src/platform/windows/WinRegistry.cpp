//===- WinRegistry.cpp - counted registry keys on Windows ----------------===//
//
// This file forwards opening and closing of registry keys to the system and
// counts the keys this process holds open, so that tests can prove none leak.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Activation.h>
#include <vexo/platform/Registry.h>

#include <atomic>

namespace vexo::platform {
namespace {

std::atomic<long long> gOpenKeys{0};

bool IsPredefined(HKEY key) {
    const auto bits = reinterpret_cast<ULONG_PTR>(key);
    return (bits & 0xFFFFFFF0u) == 0x80000000u;
}

LONG Opened(LONG rc, PHKEY key) {
    if (rc == ERROR_SUCCESS && key && *key && !IsPredefined(*key))
        gOpenKeys.fetch_add(1, std::memory_order_relaxed);
    return rc;
}

} // namespace

LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
    if (phkResult)
        *phkResult = nullptr;
    // The local computer by any name is opened directly, without the
    // remote-registry service.
    if (!lpMachineName || !*lpMachineName || ComputerExists(lpMachineName))
        return Opened(::RegOpenKeyA(hKey, nullptr, phkResult), phkResult);
    return Opened(::RegConnectRegistryA(lpMachineName, hKey, phkResult), phkResult);
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (phkResult)
        *phkResult = nullptr;
    return Opened(::RegOpenKeyA(hKey, lpSubKey, phkResult), phkResult);
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (phkResult)
        *phkResult = nullptr;
    return Opened(::RegCreateKeyA(hKey, lpSubKey, phkResult), phkResult);
}

LONG RegCloseKey(HKEY hKey) {
    const LONG rc = ::RegCloseKey(hKey);
    if (rc == ERROR_SUCCESS && !IsPredefined(hKey))
        gOpenKeys.fetch_sub(1, std::memory_order_relaxed);
    return rc;
}

long long RegOpenKeyCount() { return gOpenKeys.load(std::memory_order_relaxed); }

} // namespace vexo::platform
