//===- ComBase.h - COM ABI base types, result codes, GUID, IUnknown ------===//
//
// This file defines the COM base types with their Windows sizes (long is 32 bits
// here, as on Windows), the HRESULT codes the library and the servers use, the
// GUID record, IUnknown, and the trait that maps an interface type to its IID.
// Everything in this file is ABI and lives at global scope, as on Windows; a
// Windows build takes all of it from the system headers instead.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

/// Builds an HRESULT from its 32-bit pattern (the tables write codes in hexadecimal).
constexpr std::int32_t MakeHResult(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }

#ifdef _WIN32
#include <vexo/platform/WinSdk.h>
#else
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using CHAR = char;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = std::int32_t;
using FLOAT = float;
using DOUBLE = double;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LCID = std::uint32_t;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DATE = double;
using CLIPFORMAT = std::uint16_t;
using SIZE_T = std::size_t;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPWSTR = WCHAR *;
using LPCWSTR = const WCHAR *;
using LPOLESTR = OLECHAR *;
using LPCOLESTR = const OLECHAR *;
using LPSTR = char *;
using LPCSTR = const char *;
using LPVOID = void *;

/// The calling convention of COM methods; one convention only on this platform.
#define STDMETHODCALLTYPE
/// A wide-string literal of the OLE character type.
#define OLESTR(str) u##str

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;


constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// Generic and OLE result codes.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
constexpr HRESULT E_ABORT = MakeHResult(0x80004004);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
constexpr HRESULT E_HANDLE = MakeHResult(0x80070006);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3);
constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0);
constexpr HRESULT CO_E_OBJNOTREG = MakeHResult(0x800401FB);
constexpr HRESULT RPC_E_TOO_LATE = MakeHResult(0x80010119);
constexpr HRESULT RPC_E_CONNECTION_TERMINATED = MakeHResult(0x80010006);
constexpr HRESULT RPC_E_SERVER_DIED = MakeHResult(0x80010007);
constexpr HRESULT RPC_E_SERVER_DIED_DNE = MakeHResult(0x80010012);
constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108);
constexpr HRESULT CO_E_OBJNOTCONNECTED = MakeHResult(0x800401FD);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = MakeHResult(0x80040003);
constexpr HRESULT OLE_E_NOCONNECTION = MakeHResult(0x80040004);
constexpr HRESULT DV_E_FORMATETC = MakeHResult(0x80040064);
constexpr HRESULT DV_E_TYMED = MakeHResult(0x80040069);
constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHResult(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202);
constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008);
constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000B);
constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHResult(0x8002000D);

// Win32 error codes returned by the registry functions.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BAD_NETPATH = 53;
constexpr LONG ERROR_KEY_DELETED = 1018;

/// The 16-byte GUID record: Data1, Data2, Data3, then the 8 bytes of Data4.
struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using CATID = GUID;
using REFIID = const IID &;
using REFCLSID = const CLSID &;
using REFGUID = const GUID &;
using LPCLSID = CLSID *;

constexpr bool operator==(const GUID &a, const GUID &b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
constexpr bool operator!=(const GUID &a, const GUID &b) { return !(a == b); }
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

constexpr GUID GUID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};


/// The two 32-bit halves of a count of 100-ns intervals since 1601-01-01 UTC.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
static_assert(sizeof(FILETIME) == 8 && alignof(FILETIME) == 4);

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

  protected:
    ~IUnknown() = default; // objects are destroyed through Release only
};
using LPUNKNOWN = IUnknown *;

constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
#endif // _WIN32

/// HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE): "The RPC server is unavailable."
constexpr HRESULT RPC_S_SERVER_UNAVAILABLE_HR = MakeHResult(0x800706BA);
/// HRESULT_FROM_WIN32(RPC_S_CALL_FAILED): "The remote procedure call failed."
constexpr HRESULT RPC_S_CALL_FAILED_HR = MakeHResult(0x800706BE);
/// HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE): the call failed and did not execute.
constexpr HRESULT RPC_S_CALL_FAILED_DNE_HR = MakeHResult(0x800706BF);

/// Strict weak order on GUIDs, for maps keyed by class id.
struct GuidLess {
    bool operator()(const GUID &a, const GUID &b) const {
        return std::memcmp(&a, &b, sizeof(GUID)) < 0;
    }
};

namespace vexo::platform {

/// Maps an interface type to its IID; specialised by VEXO_DECLARE_INTERFACE_IID.
template <class T> struct InterfaceTraits;

template <> struct InterfaceTraits<IUnknown> {
    static constexpr const IID &iid() { return IID_IUnknown; }
};

/// The IID of interface type T.
template <class T> constexpr const IID &IidOf() { return InterfaceTraits<T>::iid(); }

} // namespace vexo::platform

/// Binds an interface struct to its IID constant for IidOf<T>() and ComPtr::As.
#define VEXO_DECLARE_INTERFACE_IID(Interface, IidConstant)                                         \
    template <> struct vexo::platform::InterfaceTraits<Interface> {                                \
        static constexpr const IID &iid() { return IidConstant; }                                  \
    }
