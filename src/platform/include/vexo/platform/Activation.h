//===- Activation.h - computers, class tables and object creation --------===//
//
// This file declares the stand-in for COM/DCOM activation. Each computer has a
// class table (CLSID -> class factory) and a registry. The local computer
// always exists; tests and demos add named computers. Creating an object on an
// unknown computer fails like an unreachable host (0x800706BA), on a computer
// without the class like an unregistered class (REGDB_E_CLASSNOTREG).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <vexo/platform/ComInterfaces.h>

#ifndef _WIN32
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr HRESULT RPC_E_CHANGED_MODE = MakeHResult(0x80010106);

constexpr DWORD REGCLS_SINGLEUSE = 0;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;

constexpr DWORD RPC_C_AUTHN_LEVEL_NONE = 1;
constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
constexpr DWORD EOAC_NONE = 0;

struct COAUTHINFO;
struct COSERVERINFO {
    DWORD dwReserved1;
    LPWSTR pwszName;
    COAUTHINFO *pAuthInfo;
    DWORD dwReserved2;
};

struct MULTI_QI {
    const IID *pIID;
    IUnknown *pItf;
    HRESULT hr;
};

struct SOLE_AUTHENTICATION_SERVICE;
using PSECURITY_DESCRIPTOR = void *;
#endif // !_WIN32

namespace vexo::platform {

/// The name under which the local computer is known ("" also means local).
std::string LocalComputerName();
/// Adds a named computer with an empty registry and class table; adding an
/// existing one does nothing. Names compare case-insensitively.
void AddComputer(std::string_view name);
/// Removes a named computer and releases its class factories. The local
/// computer cannot be removed.
void RemoveComputer(std::string_view name);
bool ComputerExists(std::string_view name);
std::vector<std::string> ComputerNames();

/// Registers a class factory on a named computer (or the local one for "").
/// On Windows only the local computer takes registrations (for the life of
/// the process, as a multiple-use class object); others answer
/// RPC_S_SERVER_UNAVAILABLE_HR.
HRESULT RegisterClassObjectOn(std::string_view computer, REFCLSID rclsid, IUnknown *pUnk,
                              DWORD *lpdwRegister);

#ifdef _WIN32
using ::CoCreateInstance;
using ::CoCreateInstanceEx;
using ::CoInitialize;
using ::CoInitializeEx;
using ::CoInitializeSecurity;
using ::CoRegisterClassObject;
using ::CoRevokeClassObject;
using ::CoUninitialize;
using ::Sleep;
#else
/// Enters the calling thread into an apartment: S_OK the first time, S_FALSE
/// again for the same model (each call needs its CoUninitialize),
/// RPC_E_CHANGED_MODE for the other model. A thread must be in an apartment
/// before it creates objects, or the process must have a multi-threaded one,
/// which then takes in every thread that never entered one.
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
/// CoInitializeEx with COINIT_APARTMENTTHREADED.
HRESULT CoInitialize(LPVOID pvReserved);
/// Undoes one successful CoInitialize(Ex) of the calling thread.
void CoUninitialize();

/// Registers a class factory on the local computer (AddRef'd); *lpdwRegister
/// receives a cookie for CoRevokeClassObject.
HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown *pUnk, DWORD dwClsContext, DWORD flags,
                              DWORD *lpdwRegister);
HRESULT CoRevokeClassObject(DWORD dwRegister);

/// Creates an object on the local computer. CO_E_NOTINITIALIZED on a thread
/// outside every apartment (see CoInitializeEx).
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown *pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void **ppv);
/// Creates an object on pServerInfo->pwszName (local when null or blank) and
/// queries each MULTI_QI entry. RPC_S_SERVER_UNAVAILABLE_HR for an unknown
/// computer; REGDB_E_CLASSNOTREG when the class is not there; E_NOINTERFACE
/// when no requested interface is offered (CO_S_NOTALLINTERFACES if some are).
HRESULT CoCreateInstanceEx(REFCLSID rclsid, IUnknown *punkOuter, DWORD dwClsCtx,
                           COSERVERINFO *pServerInfo, DWORD dwCount, MULTI_QI *pResults);
constexpr HRESULT CO_S_NOTALLINTERFACES = 0x00080012;

/// Sets process security once; a second call answers RPC_E_TOO_LATE.
HRESULT CoInitializeSecurity(PSECURITY_DESCRIPTOR pSecDesc, LONG cAuthSvc,
                             SOLE_AUTHENTICATION_SERVICE *asAuthSvc, void *pReserved1,
                             DWORD dwAuthnLevel, DWORD dwImpLevel, void *pAuthList,
                             DWORD dwCapabilities, void *pReserved3);

/// Suspends the calling thread.
void Sleep(DWORD dwMilliseconds);
#endif // _WIN32

/// Test hook: forgets that security was initialised (the stand-in only; a
/// process on Windows sets it once).
void ResetSecurityForTesting();

} // namespace vexo::platform
