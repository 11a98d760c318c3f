//===- Registry.h - per-computer registries ------------------------------===//
//
// This file declares the registry stand-in: each computer has its own tree of
// keys with default string values. HKEY_CLASSES_ROOT names the local
// computer's class root; RegConnectRegistryA opens another computer's.
// Keys compare case-insensitively and enumerate sorted by name, ignoring case.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/platform/ComBase.h>

#ifndef _WIN32
struct HKEY__;
using HKEY = HKEY__ *;
using PHKEY = HKEY *;

/// Predefined key of the local computer's class registry.
extern const HKEY HKEY_CLASSES_ROOT;

constexpr DWORD REG_SZ = 1;
#endif

namespace vexo::platform {

#ifdef _WIN32
using ::RegDeleteKeyA;
using ::RegDeleteTreeA;
using ::RegEnumKeyA;
using ::RegQueryValueA;
using ::RegSetValueA;
// Opening and closing go through the library so that open keys are counted
// (RegOpenKeyCount).
LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);
LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
LONG RegCloseKey(HKEY hKey);
#else

/// Opens hKey on machine lpMachineName (nullptr or "" = local). Only
/// HKEY_CLASSES_ROOT is supported; ERROR_BAD_NETPATH for an unknown computer.
LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult);
/// Opens a subkey (nullptr or "" reopens hKey); ERROR_FILE_NOT_FOUND if absent.
LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
/// Opens or creates a subkey path ("A\\B\\C" creates every level).
LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
/// Closes an opened key; predefined keys are ignored.
LONG RegCloseKey(HKEY hKey);
/// Deletes a subkey that has no subkeys of its own (ERROR_ACCESS_DENIED
/// otherwise, so that nothing is removed by accident).
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
/// Deletes a subkey and everything below it.
LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);
/// Name of the dwIndex-th subkey into lpName (cchName bytes with terminator);
/// ERROR_NO_MORE_ITEMS past the end, ERROR_MORE_DATA when the buffer is short.
LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName);
/// Default value of subkey lpSubKey (or of hKey itself). With lpData null
/// only *lpcbData (bytes including terminator) is filled.
LONG RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, LONG *lpcbData);
/// Sets the default value of subkey lpSubKey, creating it (dwType REG_SZ).
LONG RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD cbData);
#endif // _WIN32

/// Number of keys currently open (not predefined), for leak checks in tests.
long long RegOpenKeyCount();

} // namespace vexo::platform
