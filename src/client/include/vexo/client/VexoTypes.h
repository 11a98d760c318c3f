//===- VexoTypes.h - shared types of the client unit ---------------------===//
//
// This file declares the event types, the private message ids, the status and
// group-state records and the small set types shared by the client classes.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <vexo/OPCDA.h>
#include <vexo/framework/DateUtils.h>
#include <vexo/framework/Messages.h>

namespace vexo {

class TObject;
class TVexoServer;
class TVexoGroups;
class TVexoGroup;
class TVexoDefaultGroup;
class TVexoItems;
class TVexoItem;
class TVexoDefaultItem;
class TVexoItemList;
class TVexoBrowser;

/// Data change, read completion, write error and write complete. The list and
/// its items are lent to the handler for the duration of the call.
using TOnOPCDataChangeEvent = std::function<void(TObject *Sender, TVexoItemList *ItemList)>;
/// The handler receives RaiseException = true and may set it false.
using TOnOPCErrorEvent =
    std::function<void(TObject *Sender, const std::string &Errorstring, bool &RaiseException)>;
using TOnOPCServerShutdownEvent = std::function<void(TObject *Sender, const std::string &Reason)>;
using TOnOPCConnectEvent = std::function<void(TObject *Sender)>;

/// What the reconnection policy of a server component reports.
enum TVexoConnectionState : std::uint8_t {
    conConnected,    ///< the application connected the component
    conLost,         ///< the server shut down or the connection was found lost
    conReconnecting, ///< attempt Attempt follows in NextDelay ms
    conReconnected,  ///< attempt Attempt connected again
    conGivenUp,      ///< attempt Attempt was the last one allowed and failed
};
/// "connected", "lost", "reconnecting", "reconnected" or "given up".
const char *ConnectionStateToStr(TVexoConnectionState State);
/// Attempt counts from 1 within one outage (0 for conConnected and conLost);
/// NextDelay is in milliseconds (0 unless reconnecting).
using TOnOPCConnectionStateEvent =
    std::function<void(TObject *Sender, TVexoConnectionState State, int Attempt, int NextDelay)>;

// The private messages through which callbacks become events.
constexpr UINT CM_OPCSHUTDOWN = 0x401;      ///< WParam 0, LParam 0
constexpr UINT CM_OPCDATACHANGE = 0x402;    ///< WParam group ID, LParam new TVexoItemList*
constexpr UINT CM_OPCWRITEERROR = 0x403;    ///< WParam 0, LParam new TVexoItemList*
constexpr UINT CM_OPCWRITECOMPLETE = 0x404; ///< WParam 0, LParam new TVexoItemList*
/// A call failed with a lost-connection code: check the connection now.
constexpr UINT CM_OPCCHECKCONNECTION = 0x410; ///< WParam 0, LParam 0

/// A server's status, converted (times local, 0 when absent or out of range).
struct tServerStateRec {
    TDateTime StartTime = 0;
    TDateTime CurrentTime = 0;
    TDateTime LastUpdateTime = 0;
    int ServerState = 0;
    int GroupCount = 0;
    int BandWidth = 0;
    int MajorVersion = 0;
    int MinorVersion = 0;
    int BuildNumber = 0;
    std::string VendorInfo;
};

/// A group's state as the server reports it.
struct tGroupStateRec {
    std::uint32_t UpdateRate = 0;
    bool IsActive = false;
    std::string Name;
    std::int32_t TimeBias = 0;
    float DeadBand = 0;
    std::uint32_t LocaleId = 0;
    OPCHANDLE ClientHandle = 0;
    OPCHANDLE ServerHandle = 0;
};

/// Access-rights filter of the browser: bit 0 readable, bit 1 writable.
enum TOPCAccess : std::uint8_t { opcReadable = 0, opcWritable = 1 };
struct OPCAcesstype {
    std::uint8_t Bits = 0;
    bool Contains(TOPCAccess A) const { return (Bits >> A) & 1u; }
    void Include(TOPCAccess A) { Bits = static_cast<std::uint8_t>(Bits | (1u << A)); }
    void Exclude(TOPCAccess A) { Bits = static_cast<std::uint8_t>(Bits & ~(1u << A)); }
    friend bool operator==(OPCAcesstype, OPCAcesstype) = default;
};

/// Server categories: bit value 1 DA 2.0, 2 DA 1.0, 4 Alarms and Events 1.0.
enum TvexoServerType : std::uint8_t { svr_DA20 = 0, svr_DA10 = 1, svr_AE10 = 2 };
struct tvexoServerSet {
    std::uint8_t Bits = 0;
    bool Contains(TvexoServerType T) const { return (Bits >> T) & 1u; }
    void Include(TvexoServerType T) { Bits = static_cast<std::uint8_t>(Bits | (1u << T)); }
    void Exclude(TvexoServerType T) { Bits = static_cast<std::uint8_t>(Bits & ~(1u << T)); }
    tvexoServerSet &operator+=(tvexoServerSet O) {
        Bits = static_cast<std::uint8_t>(Bits | O.Bits);
        return *this;
    }
    bool Empty() const { return Bits == 0; }
    friend bool operator==(tvexoServerSet, tvexoServerSet) = default;
};

} // namespace vexo
