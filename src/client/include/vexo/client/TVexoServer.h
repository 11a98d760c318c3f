//===- TVexoServer.h - one connection to one OPC DA server ---------------===//
//
// TVexoServer is the root of the client's object tree: it owns its groups,
// the defaults for new groups, its own address-space browser and the private
// message target through which server callbacks become events on the thread
// that created it. Every operation runs on that owner thread.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <string>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/client/VexoTypes.h>
#include <vexo/framework/Classes.h>
#include <vexo/framework/Lists.h>
#include <vexo/framework/Variants.h>
#include <vexo/platform/ComPtr.h>

namespace vexo {

class TVexoShutdownEvent;

/// Creates OPC server objects locally or on a named computer.
class CoOPCServer {
  public:
    CoOPCServer() = delete;
    /// Creates the object (locally when MachineName is blank after trimming),
    /// casts it to IOPCServer and waits 100 ms. Platform failures raise
    /// EOleSysError; an object without IOPCServer raises EIntfCastError.
    static platform::ComPtr<IOPCServer> Create(const GUID &ClassID, const std::string &MachineName);
};

/// Sets process-wide COM security (no authentication, impersonate); returns
/// the result of CoInitializeSecurity. Call once at start-up.
HRESULT VexoInitSecurity();

/// One connection to one OPC DA server. Created with new and an owner, or by
/// std::unique_ptr. Owner thread only; events are raised on the owner thread.
class TVexoServer : public TComponent {
  public:
    explicit TVexoServer(TComponent *AOwner);
    /// Releases the message target, then disconnects without OnDisconnect.
    ~TVexoServer() override;
    std::string ClassName() const override { return "TVexoServer"; }
    const PropertyTable *GetPropertyTable() const override;

    // --- Published properties --------------------------------------------
    bool BatchMode() const { return FBatchMode; }
    void SetBatchMode(bool Value) { FBatchMode = Value; }
    const std::string &ComputerName() const { return FComputerName; }
    void SetComputername(const std::string &Value);
    const std::string &ServerName() const { return FServerName; }
    void SetServer(const std::string &Value);
    TVexoGroups *OPCGroups() const { return FOPCGroups.get(); }
    TVexoDefaultGroup *OPCGroupDefault() const { return FOPCGroupDefault.get(); }
    bool Active() const { return FActive; }
    /// Connects (true) or disconnects (false); while loading only stores.
    void SetActive(bool Value);
    const std::string &ClientName() const { return FClientName; }
    void SetClientName(const std::string &Value) { FClientName = Value; }
    const std::string &Version() const { return FVersion; }
    /// Ignores Value: the version text cannot be changed.
    void SetVersion(const std::string &Value);

    // --- Reconnection policy (published; off by default) -------------------
    /// When true, a shutdown request, a call failing with a lost-connection
    /// code (IsConnectionLost) or a failing keep-alive check disconnects as
    /// usual and then connects again from the owner thread's message loop,
    /// after ReconnectDelay ms and then twice as long each time up to
    /// ReconnectMaxDelay, recreating every group with its items and
    /// refreshing the active ones. OnConnectionState tells how it goes.
    /// Turning it off drops a pending attempt.
    bool AutoReconnect() const { return FAutoReconnect; }
    void SetAutoReconnect(bool Value);
    /// Milliseconds before the first attempt (at least 1; 1000 at start).
    int ReconnectDelay() const { return FReconnectDelay; }
    void SetReconnectDelay(int Value);
    /// The longest wait between attempts in ms (at least 1; 30000 at start).
    int ReconnectMaxDelay() const { return FReconnectMaxDelay; }
    void SetReconnectMaxDelay(int Value);
    /// Attempts per outage before giving up; 0 (the start value) for no limit.
    int ReconnectAttempts() const { return FReconnectAttempts; }
    void SetReconnectAttempts(int Value);
    /// While connected with AutoReconnect on, the server's status is asked
    /// every KeepAliveInterval ms so that a silent loss is found; 0 (the start
    /// value) for no checks.
    int KeepAliveInterval() const { return FKeepAliveInterval; }
    void SetKeepAliveInterval(int Value);

    TOnOPCErrorEvent OnError;
    /// Raised on the owner thread when the server asks its clients to let go;
    /// the component disconnects afterwards (OnDisconnect). Like the three
    /// data events, the handler may free the component: it is then
    /// disconnected by its destructor, without OnDisconnect (the handler
    /// object goes with it, so it must not touch its captures afterwards).
    TOnOPCServerShutdownEvent OnServerShutdown;
    TOnOPCConnectEvent OnConnect;
    TOnOPCConnectEvent OnDisconnect;
    /// The list and its items are lent for the call; the handler may free the
    /// component (the list is freed all the same). Likewise the next two.
    TOnOPCDataChangeEvent OnDatachange;
    TOnOPCDataChangeEvent OnWriteError;
    TOnOPCDataChangeEvent OnWriteComplete;
    /// Raised on the owner thread while AutoReconnect is on (see
    /// TVexoConnectionState). A handler may disconnect, which ends the outage.
    TOnOPCConnectionStateEvent OnConnectionState;

    // --- Connection --------------------------------------------------------
    void Connect(const std::string &AServerName, const std::string &AComputerName);
    void Disconnect();
    /// True when connected; otherwise Fault("not connected to server") and false.
    bool CheckServer();
    /// The connection (a new counted reference), or empty after CheckServer failed.
    platform::ComPtr<IOPCServer> GetOPCServer();
    /// Cached on first request; empty when not offered (asked again next time).
    platform::ComPtr<IOPCCommon> GetCommonIF();
    platform::ComPtr<IOPCItemProperties> GetItemPropIF();
    /// True when connected to a server object offering IConnectionPointContainer.
    bool Version2();
    /// Forgets the shutdown sink, releases cached interfaces, removes every
    /// group from the server, unbinds the browser and releases the server.
    void RemoveServerInterface();
    /// The error path: OnError, then EOPCException unless the handler cleared
    /// RaiseException.
    void Fault(const std::string &Msg);
    int GetGroupCount() const;
    /// The server's own text for Code; "" when not connected or refused.
    std::string GetErrorString(HRESULT Code);
    /// The component's own address-space browser.
    TVexoBrowser *Browser() const { return FBrowser.get(); }
    /// True when the server reference is held (no fault, no server call).
    bool HasServerIF() const { return static_cast<bool>(FServerIF); }
    /// The item-properties interface cached at connect, or nullptr (no
    /// query, no fault, no new reference).
    IOPCItemProperties *CachedItemPropIF() const { return FItemPropIF.Get(); }
    /// True while a reconnection attempt waits for its turn.
    bool ReconnectPending() const { return FReconnectPending; }
    /// Why the last failed reconnection attempt failed ("" after a success).
    const std::string &ReconnectError() const { return FReconnectError; }

    // --- Event delivery ------------------------------------------------------
    /// The private message target, created on first use (owner thread only).
    HWND GetHandle();

    // --- Status --------------------------------------------------------------
    /// Raw status; all zero after "not connected to server". The vendor pointer
    /// of the copy is cleared.
    OPCSERVERSTATUS GetStatus();
    tServerStateRec GetState();
    int GetServerState();
    std::string GetServerStateStr();
    TDateTime GetStartTime();
    TDateTime GetCurrentTime();
    TDateTime GetLastUpdateTime();
    int GetMajorVersion();
    int GetMinorVersion();
    std::string GetVendorInfo();
    int GetBandWidth();
    int GetBuildNumber();
    /// Raises EOPCException("not connected to server") without IOPCCommon.
    int GetLocaleId();
    void SetLocaleId(int Value);

    // --- Configuration file ----------------------------------------------------
    /// Writes the configuration as component text. Raises EWriteError naming
    /// a property whose value cannot be read back (a Name that is not an
    /// identifier, a Tag beyond 32 bits, a dead band that is not finite) and
    /// EFCreateError naming file and reason; an existing file is replaced only
    /// when the whole text was written.
    void SaveToFile(const std::string &FileName);
    /// Disconnects, then reads the file as the whole configuration: what it
    /// leaves out takes the property's own default (not what this component or
    /// its group defaults held). Nothing is sent to a server while reading; an
    /// Active read as true connects afterwards. EFOpenError names file and
    /// reason; Exception("wrong fileformat") and reader errors as documented.
    void LoadFromFile(const std::string &FileName);

    // --- Item properties ---------------------------------------------------------
    bool QueryAvailableProperties(const std::string &ItemID, TStrings *Lines);
    bool GetItemProperty(const std::string &ItemID, int PropertyID, OleVariant &Value);
    std::string LookupItemId(const std::string &ItemID, std::uint32_t PropertyID);

  protected:
    void Loaded() override;
    /// Dispatches one message to its handler; an escaping exception goes to
    /// Application->HandleException and never leaves WndProc.
    void WndProc(TMessage &Message);
    void CMOPCShutDown(TMessage &Message);
    void CMOPCDatachange(TMessage &Message);
    void CMOPCWriteError(TMessage &Message);
    void CMOPCWriteComplete(TMessage &Message);
    void CMOPCCheckConnection(TMessage &Message);
    void WMTimer(TMessage &Message);

  private:
    friend class TVexoShutdownEvent;
    void Connect();
    void DisconnectNow();

    // Reconnection (TVexoServerReconnect.cpp); owner thread, message loop.
    /// Starts the keep-alive timer and the watch for lost-connection codes.
    void StartWatching();
    void StopWatching();
    /// Disconnects; with the policy on, a connection that was up is then
    /// recovered (lost, then attempts).
    void LoseConnection();
    /// Plans attempt Attempt in Delay ms and reports it.
    void PlanAttempt(int Attempt, int Delay);
    void RunAttempt();
    /// Drops a pending attempt (no event).
    void CancelReconnect();
    /// Asks the server's status; a lost-connection code loses the connection.
    void CheckConnection();
    /// Asks every active group for its current values after a reconnect.
    void RefreshGroups();
    /// Raises OnConnectionState from the message loop: an escaping exception
    /// goes to the application's handler, so the policy carries on.
    /// Raises OnConnectionState; false when its handler freed the component.
    bool ReportState(TVexoConnectionState State, int Attempt, int NextDelay);
    /// Puts every configuration property back to a new component's value.
    void ResetConfiguration();
    /// Frees the list a discarded message carries.
    static void DiscardMessage(TMessage &Message);

    bool FActive = false;
    std::string FServerName;
    platform::ComPtr<IOPCServer> FServerIF;
    platform::ComPtr<IOPCCommon> FCommonIF;
    platform::ComPtr<IOPCItemProperties> FItemPropIF;
    std::unique_ptr<TVexoBrowser> FBrowser;
    std::string FComputerName;
    std::unique_ptr<TVexoGroups> FOPCGroups;
    std::unique_ptr<TVexoDefaultGroup> FOPCGroupDefault;
    /// The shutdown sink registered at connect; held counted so it can be
    /// detached (it ignores requests afterwards), never called through.
    platform::ComPtr<TVexoShutdownEvent> FShutdownEvent;
    HWND FHandle = 0;
    /// Counts connects; a shutdown message carries the number of the
    /// connection whose sink posted it, so a late one cannot end a newer one.
    WPARAM FConnectionNumber = 0;
    std::string FClientName;
    bool FBatchMode = false;
    std::string FVersion = "1.3";

    bool FAutoReconnect = false;
    int FReconnectDelay = 1000;
    int FReconnectMaxDelay = 30000;
    int FReconnectAttempts = 0;
    int FKeepAliveInterval = 0;
    bool FReconnectPending = false;
    int FAttempt = 0;   ///< the pending (or running) attempt of the current outage
    int FNextDelay = 0; ///< the delay before it, in ms
    std::string FReconnectError;
    /// Expires with the component: a handler that frees it is noticed.
    std::shared_ptr<const bool> FAlive = std::make_shared<const bool>(true);
};

} // namespace vexo
