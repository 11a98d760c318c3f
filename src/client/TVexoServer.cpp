//===- TVexoServer.cpp - the server component: construction and connection -===//
//
// This file implements the life of a TVexoServer: construction and
// destruction, loading, connecting and disconnecting step by step, the cached
// interfaces, the one error path (Fault), the server's error texts, server
// object creation (CoOPCServer) and process security (VexoInitSecurity).
// Event delivery lives in TVexoServerMessages.cpp, status in
// TVexoServerStatus.cpp.
//
//===----------------------------------------------------------------------===//

#include <vexo/client/TVexoServer.h>

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoBrowser.h>
#include <vexo/client/TVexoGroup.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/Messages.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/platform/Activation.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

namespace vexo {

using platform::ComPtr;

// --- CoOPCServer and process security ---------------------------------------

ComPtr<IOPCServer> CoOPCServer::Create(const GUID &ClassID, const std::string &MachineName) {
    ComPtr<IUnknown> Unknown;
    if (Trim(MachineName).empty()) {
        OleCheck(platform::CoCreateInstance(ClassID, nullptr,
                                            CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                            IID_IUnknown, Unknown.PutVoid()));
    } else {
        // The untrimmed name goes to the activation layer, as the user typed it.
        platform::WideString Name = platform::Utf8ToUtf16(MachineName);
        COSERVERINFO Info{0, Name.data(), nullptr, 0};
        MULTI_QI Qi{&IID_IUnknown, nullptr, S_OK};
        OleCheck(platform::CoCreateInstanceEx(ClassID, nullptr,
                                              CLSCTX_REMOTE_SERVER | CLSCTX_LOCAL_SERVER, &Info,
                                              1, &Qi));
        OleCheck(Qi.hr);
        Unknown = ComPtr<IUnknown>::Attach(Qi.pItf);
    }
    ComPtr<IOPCServer> Server = Unknown.As<IOPCServer>();
    if (!Server)
        throw EIntfCastError("Interface not supported");
    // Servers that start their own process need a moment before their first call.
    platform::Sleep(100);
    return Server;
}

HRESULT VexoInitSecurity() {
    return platform::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE,
                                          nullptr);
}

// --- Construction -------------------------------------------------------------

TVexoServer::TVexoServer(TComponent *AOwner)
    : TComponent(AOwner), FBrowser(std::make_unique<TVexoBrowser>(nullptr)),
      FOPCGroups(std::make_unique<TVexoGroups>(this)),
      FOPCGroupDefault(std::make_unique<TVexoDefaultGroup>()) {}

TVexoServer::~TVexoServer() {
    // No attempt or keep-alive check may outlive the component.
    CancelReconnect();
    StopWatching();
    // Nothing posted from now on is delivered; queued lists are freed by
    // DiscardMessage.
    if (FHandle != 0) {
        DeallocateHWnd(FHandle);
        FHandle = 0;
    }
    OnDisconnect = nullptr;
    try {
        SetActive(false);
    } catch (...) {
        Application->HandleException(this);
    }
    // Disconnecting creates no target, but a group's teardown might ask for
    // one; never leave a target behind that points at a freed component.
    if (FHandle != 0) {
        DeallocateHWnd(FHandle);
        FHandle = 0;
    }
    FOPCGroupDefault.reset();
    FBrowser.reset();
    FOPCGroups.reset();
}

void TVexoServer::Loaded() {
    TComponent::Loaded();
    if (IsDesigning())
        FBatchMode = false;
    if (FActive) {
        FActive = false;
        SetActive(true);
    }
}

// --- Properties ---------------------------------------------------------------

void TVexoServer::SetActive(bool Value) {
    if (IsLoading()) {
        FActive = Value;
        return;
    }
    // The application's own connect or disconnect ends an outage in progress.
    CancelReconnect();
    if (Value == FActive)
        return;
    if (!Value) {
        DisconnectNow();
        return;
    }
    // A connect handler may free the component; then nothing more is done.
    const std::weak_ptr<const bool> Alive = FAlive;
    Connect();
    if (!Alive.expired() && FActive && FAutoReconnect && OnConnectionState) {
        const auto Handler = OnConnectionState; // the handler may free the event too
        Handler(this, conConnected, 0, 0);
    }
}

void TVexoServer::SetServer(const std::string &Value) {
    if (Value == FServerName)
        return;
    if (!IsLoading())
        SetActive(false);
    FServerName = Value;
}

void TVexoServer::SetComputername(const std::string &Value) {
    if (Value == FComputerName)
        return;
    if (!IsLoading())
        SetActive(false);
    FComputerName = Value;
}

void TVexoServer::SetVersion(const std::string &) {}

void TVexoServer::Connect(const std::string &AServerName, const std::string &AComputerName) {
    SetActive(false);
    SetServer(AServerName);
    SetComputername(AComputerName);
    SetActive(true);
}

void TVexoServer::Disconnect() { SetActive(false); }

// --- Connecting and disconnecting ----------------------------------------------

void TVexoServer::Connect() {
    // Sinks capture the target when they are created and post to it from other
    // threads, so it must exist, created on this thread, before any sink does.
    GetHandle();
    RemoveServerInterface();

    CLSID ClassID{};
    platform::WideString WideName = platform::Utf8ToUtf16(FServerName);
    if (platform::CLSIDFromProgID(WideName.c_str(), &ClassID) != S_OK &&
        platform::CLSIDFromString(WideName.c_str(), &ClassID) != S_OK) {
        Fault(VexoLoadStr(_STR_NOServer));
        return;
    }

    FServerIF = CoOPCServer::Create(ClassID, FComputerName);
    if (!FServerIF) {
        Fault(Format(VexoLoadStr(_STR_NOCONNECT), {FServerName}));
        return;
    }
    FActive = true;
    ++FConnectionNumber;
    StartWatching();
    FBrowser->SetOPCServer(this);
    // A server without shutdown notices is connected all the same.
    FShutdownEvent = TVexoShutdownEvent::Create(this);
    ComPtr<IOPCCommon> Common = GetCommonIF();
    GetItemPropIF();
    if (Common && !Trim(FClientName).empty()) {
        platform::WideString WideClient = platform::Utf8ToUtf16(FClientName);
        Common->SetClientName(WideClient.c_str());
    }
    FOPCGroups->CreateAllOPCGroups();
    // Active is not set again after the event: a handler that disconnects
    // must leave the component disconnected, not "active" without a server.
    if (OnConnect)
        OnConnect(this);
}

void TVexoServer::DisconnectNow() {
    FActive = false;
    RemoveServerInterface();
    // Likewise a handler that reconnects leaves the component connected.
    if (OnDisconnect)
        OnDisconnect(this);
}

void TVexoServer::RemoveServerInterface() {
    StopWatching();
    if (FShutdownEvent) {
        // Detach first so a request arriving from now on posts nothing, then
        // withdraw the registration while the server reference is still held.
        ComPtr<TVexoShutdownEvent> Sink = std::move(FShutdownEvent);
        Sink->Detach();
        if (Sink->AdviseResult() == S_OK && FServerIF)
            UnadviseConnectionPoint(FServerIF.Get(), IID_IOPCShutdown, Sink->Cookie());
    }
    FCommonIF = nullptr;
    FItemPropIF = nullptr;
    FOPCGroups->RemoveAllOPCGroups();
    FBrowser->SetOPCServer(nullptr);
    FServerIF = nullptr;
}

// --- Guards and cached interfaces ----------------------------------------------

void TVexoServer::Fault(const std::string &Msg) {
    bool RaiseException = true;
    if (OnError)
        OnError(this, Msg, RaiseException);
    if (RaiseException)
        throw EOPCException(Msg);
}

bool TVexoServer::CheckServer() {
    if (FServerIF)
        return true;
    Fault(VexoLoadStr(_STR_NOTACTIVE));
    return false;
}

ComPtr<IOPCServer> TVexoServer::GetOPCServer() {
    if (!CheckServer())
        return nullptr;
    return FServerIF;
}

ComPtr<IOPCCommon> TVexoServer::GetCommonIF() {
    if (!CheckServer())
        return nullptr;
    if (!FCommonIF)
        FServerIF.As(FCommonIF); // an empty result is asked again next time
    return FCommonIF;
}

ComPtr<IOPCItemProperties> TVexoServer::GetItemPropIF() {
    if (!CheckServer())
        return nullptr;
    if (!FItemPropIF)
        FServerIF.As(FItemPropIF);
    return FItemPropIF;
}

bool TVexoServer::Version2() {
    if (!FServerIF)
        return false;
    return static_cast<bool>(FServerIF.As<IConnectionPointContainer>());
}

int TVexoServer::GetGroupCount() const { return FOPCGroups->Count(); }

std::string TVexoServer::GetErrorString(HRESULT Code) {
    if (!CheckServer())
        return {};
    LPWSTR Text = nullptr;
    std::string Result;
    if (SUCCEEDED(FServerIF->GetErrorString(Code, 0, &Text)) && Text)
        Result = platform::WideToString(Text);
    platform::CoTaskMemFree(Text); // a failing server may still have written one
    return Result;
}

} // namespace vexo
