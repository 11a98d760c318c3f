//===- VexoErrors.h - OPC error texts, the library exception, OPCCheck ----===//
//
// This file defines EOPCException, the exception class of the whole library,
// the ids of every user-visible text of the library (all of them resource
// strings, so a translated string table changes every message), the mapping
// from OPC result codes to their texts, and OPCCheck, the standard check of a
// server call's result code.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include <vexo/framework/SysUtils.h>
#include <vexo/platform/ComBase.h>

namespace vexo {

/// The library's own exception: a message text and nothing else.
VEXO_DECLARE_EXCEPTION(EOPCException, Exception);

// --- Library message texts (resource-string ids) ---------------------------
//
// Placeholders %s and %d are filled with Format.

constexpr int _STR_HASSERVERHANDLE = 65488; ///< "item %s already exists on OPCServer"
constexpr int _STR_NOTPOSSIBLE = 65489;     ///< "not possible if connected to OPC Server"
constexpr int _STR_WRITERROR = 65490;       ///< "cannot write Items:"
constexpr int _STR_ADDITEMSERROR = 65491;   ///< "cannot add Items:"
constexpr int _STR_WRONGFILE = 65492;       ///< "wrong fileformat"
constexpr int _STR_NOTACTIVE = 65510;       ///< "not connected to server"
constexpr int _STR_NODCOM = 65511;          ///< "Failed to initialize DCOM security"
constexpr int _STR_NOServer = 65512;        ///< "first define servername"
constexpr int _STR_NOREGISTER = 65513;      ///< "OPC Server %s not found on computer %s"
constexpr int _STR_NOCONNECT = 65514;       ///< "Unable to connect to OPC server %s"
constexpr int _STR_NOBROWSER = 65515;       ///< "Browser interface not found"
constexpr int _STR_UNKNOWN = 65516;         ///< "unknown error : %d"
constexpr int _STR_GROUPNOTFOUND = 65517;   ///< "group not found"
constexpr int _STR_GROUPEXITS = 65518;      ///< "group %s already exists"
constexpr int _STR_NOSERVERHANDLE = 65519;  ///< "item %s not exists on OPCServer"

// --- Texts of OPC result codes (resource-string ids) -----------------------

constexpr int _STR_OPC_INVALIDHANDLE = 65520;     ///< 0xC0040001
constexpr int _STR_OPC_BADTYPE = 65521;           ///< 0xC0040004
constexpr int _STR_OPC_PUBLIC = 65522;            ///< 0xC0040005
constexpr int _STR_OPC_BADRIGHTS = 65523;         ///< 0xC0040006
constexpr int _STR_OPC_UNKNOWNITEMID = 65524;     ///< 0xC0040007
constexpr int _STR_OPC_INVALIDITEMID = 65525;     ///< 0xC0040008
constexpr int _STR_OPC_INVALIDFILTER = 65526;     ///< 0xC0040009
constexpr int _STR_OPC_UNKNOWNPATH = 65527;       ///< 0xC004000A
constexpr int _STR_OPC_RANGE = 65528;             ///< 0xC004000B
constexpr int _STR_OPC_DUPLICATENAME = 65529;     ///< 0xC004000C
constexpr int _STR_OPC_UNSUPPORTEDRATE = 65530;   ///< 0x0004000D
constexpr int _STR_OPC_CLAMP = 65531;             ///< 0x0004000E
constexpr int _STR_OPC_INUSE = 65532;             ///< 0x0004000F
constexpr int _STR_OPC_INVALIDCONFIGFILE = 65533; ///< 0xC0040010
constexpr int _STR_OPC_NOTFOUND = 65534;          ///< 0xC0040011
constexpr int _STR_OPC_INVALID_PID = 65535;       ///< 0xC0040203
// Alarms & Events codes that DA servers are known to return as well.
constexpr int _STR_AE_ALREADYACKED = 65504;      ///< 0x00040200
constexpr int _STR_AE_INVALIDBUFFERTIME = 65505; ///< 0x00040201
constexpr int _STR_AE_INVALIDMAXSIZE = 65506;    ///< 0x00040202
constexpr int _STR_AE_BUSY = 65507;              ///< 0xC0040204
constexpr int _STR_AE_REFRESHINPROGRESS = 65508; ///< 0xC0040205
constexpr int _STR_AE_NOINFO = 65509;            ///< 0xC0040206

/// Puts the library's texts into the framework's string table unless a text is
/// already there (a translation loaded first wins). Idempotent, thread-safe;
/// runs at start-up and again on first use, so callers never need it.
void RegisterVexoResourceStrings();

/// LoadResString for the library's own ids, registering the texts first.
std::string VexoLoadStr(int Id);

/// The library's text for Code, or "" when the code has none. The whole 32-bit
/// code is compared; no bits are masked. Never raises.
std::string GetOPCErrorMessage(HRESULT Code) noexcept;

/// Returns for a success code (>= 0). For a failure raises EOPCException with
/// GetOPCErrorMessage(Code) when that is not empty, else EOleSysError carrying
/// Code and the system's text for it (OleError). The check observer, if any,
/// sees the failure code first.
void OPCCheck(HRESULT Code);

/// True for the codes with which a call fails when the server or the way to
/// it is gone (RPC_S_SERVER_UNAVAILABLE, RPC_S_CALL_FAILED, RPC_E_DISCONNECTED
/// and their kin), as opposed to the server refusing the call. Never raises.
bool IsConnectionLost(HRESULT Code) noexcept;

/// Called by OPCCheck on the calling thread with each failure code, before it
/// raises; it must not raise itself. nullptr (the start value) for none.
/// Thread-safe; returns the observer it replaces.
using TOPCCheckObserver = void (*)(HRESULT Code);
TOPCCheckObserver SetOPCCheckObserver(TOPCCheckObserver Observer) noexcept;

} // namespace vexo
