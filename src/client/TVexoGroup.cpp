//===- TVexoGroup.cpp - groups, their collection and their state ---------===//
//
// This file implements TVexoGroups (adding, finding and removing groups by
// name, creating and removing all of them on the server) and TVexoGroup: its
// life on the server (OPCAddGroup, OPCRemoveGroup, including the data sinks),
// its state setters and GetState. Owner thread only.
//
//===----------------------------------------------------------------------===//
#include <vexo/client/TVexoGroup.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <exception>

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

namespace vexo {

namespace {
constexpr OPCHANDLE NoHandle = static_cast<OPCHANDLE>(-1);

/// A revised rate as the signed UpdateRate holds it: a server revising past
/// its range gets the largest rate it can show, never a negative one.
std::int32_t RateOf(DWORD Revised) {
    return Revised > static_cast<DWORD>(INT32_MAX) ? INT32_MAX : static_cast<std::int32_t>(Revised);
}
} // namespace

// --- TVexoGroups -------------------------------------------------------------

TVexoGroups::TVexoGroups(TVexoServer *Server)
    : TCollection([](TCollection *C) -> TCollectionItem * { return new TVexoGroup(C); }),
      FServer(Server) {}

// The groups are freed here, while this collection is still whole: a group's
// destructor reaches its server component through it.
TVexoGroups::~TVexoGroups() { Clear(); }

TPersistent *TVexoGroups::GetOwner() const { return FServer; }

TVexoGroup *TVexoGroups::Add(const std::string &Name) {
    if (Exists(Name) != -1 || Trim(Name).empty())
        throw EOPCException(Format(VexoLoadStr(_STR_GROUPEXITS), {Name}));
    auto *Group = static_cast<TVexoGroup *>(TCollection::Add());
    Group->SetName(Name);
    if (FServer && FServer->HasServerIF() && !FServer->IsDesigning())
        Group->OPCAddGroup();
    return Group;
}

TVexoGroup *TVexoGroups::GetItem(int Index) const {
    return static_cast<TVexoGroup *>(TCollection::GetItem(Index));
}

// Copies the published settings of Group into the group at Index (the
// collection keeps its own group objects; items are not copied).
void TVexoGroups::SetItem(int Index, TVexoGroup *Group) {
    TVexoGroup *Target = GetItem(Index);
    if (!Group || Group == Target)
        return;
    Target->SetName(Group->Name());
    Target->SetIsActive(Group->IsActive());
    Target->SetUpdateRate(Group->UpdateRate());
    Target->SetDeadBand(Group->DeadBand());
    Target->SetLocaleId(Group->LocaleId());
    Target->SetTimeBias(Group->TimeBias());
}

int TVexoGroups::Exists(const std::string &Name) const {
    for (int I = 0; I < Count(); ++I)
        if (GetItem(I)->Name() == Name)
            return I;
    return -1;
}

TVexoGroup *TVexoGroups::GetOPCGroup(const std::string &Name) const {
    const int Index = Exists(Name);
    return Index == -1 ? nullptr : GetItem(Index);
}

void TVexoGroups::Remove(const std::string &Name) {
    const int Index = Exists(Name);
    if (Index == -1)
        throw EOPCException(VexoLoadStr(_STR_GROUPNOTFOUND));
    Delete(Index);
}

void TVexoGroups::RemoveAll() {
    RemoveAllOPCGroups();
    Clear();
}

void TVexoGroups::RemoveAllOPCGroups() {
    for (int I = 0; I < Count(); ++I)
        GetItem(I)->OPCRemoveGroup();
}

// A failing group ends the loop: the later groups stay local and the caller
// (the connect operation) receives the exception.
void TVexoGroups::CreateAllOPCGroups() {
    for (int I = 0; I < Count(); ++I)
        if (!GetItem(I)->IsOnServer())
            GetItem(I)->OPCAddGroup();
}

void TVexoGroups::Update(TCollectionItem *Item) { TCollection::Update(Item); }

// --- TVexoGroup: construction and destruction ----------------------------------

TVexoGroup::TVexoGroup(TCollection *Collection) : TCollectionItem(Collection) {
    auto *Groups = static_cast<TVexoGroups *>(Collection);
    FOPCServer = Groups ? Groups->Server() : nullptr;
    // A group read from a stream takes the properties' own defaults: what the
    // stream leaves out must not depend on the loading component's settings.
    const TVexoDefaultGroup Fresh;
    if (FOPCServer && FOPCServer->OPCGroupDefault()) {
        const TVexoDefaultGroup &D =
            FOPCServer->IsLoading() ? Fresh : *FOPCServer->OPCGroupDefault();
        SetIsActive(D.IsActive);
        SetUpdateRate(D.UpdateRate);
        SetDeadBand(D.DeadBand);
        SetLocaleId(D.LocaleId);
        SetTimeBias(D.TimeBias);
    }
    // Read from a stream, the name is the stream's: left out, it is empty.
    if (!FOPCServer || !FOPCServer->IsLoading())
        FName = ClassName() + IntToStr(Collection ? Collection->Count() - 1 : 0);
    FDefaultItem = std::make_unique<TVexoDefaultItem>();
    FOPCItems = std::make_unique<TVexoItems>(this);
    if (FOPCServer && FOPCServer->IsDesigning() && FOPCServer->HasServerIF() &&
        !FOPCServer->IsLoading()) {
        // A failure here must not unmake the group the collection already
        // lists; it reaches the application's handler instead.
        try {
            OPCAddGroup();
        } catch (...) {
            Application->HandleException(this);
        }
    }
}

TVexoGroup::~TVexoGroup() {
    try {
        if (FItemMgt)
            OPCRemoveGroup();
    } catch (...) {
        Application->HandleException(this);
    }
    DetachSinks();
    FOPCItems.reset();
    FDefaultItem.reset();
}

std::string TVexoGroup::GetDisplayName() const {
    return Trim(FName).empty() ? TCollectionItem::GetDisplayName() : FName;
}

// --- TVexoGroup: the last asynchronous call ---------------------------------------
//
// A free-threaded server may deliver a completion on its own thread while the
// call that caused it is still on its way back, before the call knows the id
// the server gave it. While a call is in flight the sinks therefore note the
// ids they see, and the call looks at them when it returns: a completion that
// has arrived leaves TaskId at 0 and its item results stand.

void TVexoGroup::SetTaskId(std::uint32_t Value) {
    std::lock_guard<std::mutex> Lock(FTaskLock);
    FTaskId.store(Value, std::memory_order_release);
    FTaskTransaction = 0;
}

void TVexoGroup::ClearTaskId(std::uint32_t Id) {
    if (Id == 0)
        return; // data changes of the server's own accord
    std::lock_guard<std::mutex> Lock(FTaskLock);
    if (FInFlight.Active) {
        constexpr std::size_t MaxSeen = 64; // completions of older calls, at most
        if (Id == FInFlight.Transaction)
            FInFlight.Done = true;
        else if (FInFlight.Seen.size() < MaxSeen)
            FInFlight.Seen.push_back(Id);
    }
    const std::uint32_t Task = FTaskId.load(std::memory_order_relaxed);
    if (Task != 0 && (Id == Task || Id == FTaskTransaction)) {
        FTaskId.store(0, std::memory_order_release);
        FTaskTransaction = 0;
    }
}

void TVexoGroup::BeginAsyncCall(std::uint32_t TransactionId, bool ClearTask) {
    std::lock_guard<std::mutex> Lock(FTaskLock);
    FInFlight.Active = true;
    FInFlight.Transaction = TransactionId;
    FInFlight.Done = false;
    FInFlight.Seen.clear();
    if (ClearTask) {
        FTaskId.store(0, std::memory_order_release);
        FTaskTransaction = 0;
    }
}

std::unique_lock<std::mutex> TVexoGroup::EndAsyncCall(std::uint32_t Id, bool Record, bool &Done) {
    std::unique_lock<std::mutex> Lock(FTaskLock);
    const auto &Seen = FInFlight.Seen;
    Done = FInFlight.Done || (Id != 0 && std::find(Seen.begin(), Seen.end(), Id) != Seen.end());
    if (Record) {
        FTaskId.store(Done ? 0 : Id, std::memory_order_release);
        FTaskTransaction = Done ? 0 : FInFlight.Transaction;
    }
    FInFlight.Active = false;
    FInFlight.Seen.clear();
    return Lock;
}

// --- TVexoGroup: life on the server ----------------------------------------------

void TVexoGroup::OPCAddGroup() {
    platform::ComPtr<IOPCServer> Server = FOPCServer->GetOPCServer();
    if (!Server)
        return;
    // Creating a group that is already on the server would orphan the old
    // server group and leave its sink pointing here: take it off first.
    if (FItemMgt)
        OPCRemoveGroup();
    FServerHandle = NoHandle;
    SetTaskId(0);
    FItemMgt.Reset();

    const platform::WideString WName = platform::Utf8ToUtf16(FName);
    LONG TimeBias = FTimeBias;
    FLOAT DeadBand = FDeadBand;
    OPCHANDLE ServerGroup = NoHandle;
    DWORD RevisedRate = static_cast<DWORD>(FUpdateRate); // kept if the server writes none
    IUnknown *Unk = nullptr;
    const HRESULT Hr = Server->AddGroup(
        WName.c_str(), FIsActive ? -1 : 0, static_cast<DWORD>(FUpdateRate),
        static_cast<OPCHANDLE>(ID()), &TimeBias, &DeadBand, static_cast<DWORD>(FLocaleId),
        &ServerGroup, &RevisedRate, IID_IOPCItemMgt, &Unk);
    if (FAILED(Hr)) {
        if (Unk)
            Unk->Release();
        OPCCheck(Hr);
    }
    if (!Unk) {
        // A success without the interface leaves a group on the server that
        // this client could never reach: take it back and report the refusal.
        if (ServerGroup != NoHandle)
            Server->RemoveGroup(ServerGroup, FALSE);
        OleError(E_NOINTERFACE);
    }
    FItemMgt = platform::ComPtr<IOPCItemMgt>::Attach(static_cast<IOPCItemMgt *>(Unk));
    FServerHandle = ServerGroup;

    FItemMgt.As(FGroupStateMgt);
    FItemMgt.As(FSyncIO);
    if (FAILED(FItemMgt.As(FAsyncIO2)))
        FItemMgt.As(FAsyncIO);
    else
        FAsyncIO.Reset();

    // A failure of the add-items call as a whole leaves the group on the
    // server all the same: it still gets its revised rate and its sink, so
    // that items added later receive data; the exception travels on after.
    std::exception_ptr Pending;
    try {
        FOPCItems->OPCAddAllItems();
    } catch (...) {
        Pending = std::current_exception();
    }
    FUpdateRate = RateOf(RevisedRate);
    try {
        ConnectSink();
    } catch (...) {
        if (!Pending)
            throw;
    }
    if (Pending)
        std::rethrow_exception(Pending);
}

void TVexoGroup::ConnectSink() {
    FDataCallback.Reset();
    if (FOPCServer->Version2()) {
        FOPCServer->GetHandle(); // the sink captures the message target
        FDataCallback = platform::ComPtr<TVexoDataCallback>(new TVexoDataCallback(this));
        if (FDataCallback->AdviseResult() == S_OK)
            return;
        FDataCallback->Withdraw();
        FDataCallback.Reset();
    }

    FAdviseSink.Reset();
    FOPCServer->GetHandle();
    FAdviseSink = platform::ComPtr<TVexoAdviseSink>(new TVexoAdviseSink(this));
    const HRESULT Advise = FAdviseSink->AdviseResult();
    if (Advise != S_OK) {
        // A registration the server made (another success code) is cancelled:
        // a sink the group does not keep must not be called any more.
        FAdviseSink->UnAdvise();
        FAdviseSink->Detach();
        FAdviseSink.Reset();
        if (FAILED(Advise))
            OleError(Advise);
        return;
    }
    // Completions of IOPCAsyncIO2 travel only through the callback that was
    // refused; the stream's own asynchronous interface answers through the
    // advise just made, so the group's asynchronous calls go there instead.
    if (FAsyncIO2) {
        platform::ComPtr<IOPCAsyncIO> Stream;
        if (SUCCEEDED(FItemMgt.As(Stream)) && Stream) {
            FAsyncIO = std::move(Stream);
            FAsyncIO2.Reset();
        }
    }
}

// The DA 1.0 advise is cancelled while the group object is still held (the
// sink reaches it through the group); then both sinks are detached, so a late
// callback finds no group.
void TVexoGroup::DetachSinks() {
    if (FAdviseSink) {
        FAdviseSink->UnAdvise();
        FAdviseSink->Detach();
    }
    if (FDataCallback)
        FDataCallback->Detach();
}

void TVexoGroup::OPCRemoveGroup() {
    if (!FItemMgt) {
        FServerHandle = NoHandle;
        return;
    }
    DetachSinks();
    FSyncIO.Reset();
    FAsyncIO.Reset();
    FAsyncIO2.Reset();
    FGroupStateMgt.Reset();
    FDataCallback.Reset();
    FAdviseSink.Reset();

    // The group leaves the server even when the removal of its items raises;
    // the exception travels on afterwards.
    std::exception_ptr Pending;
    try {
        FOPCItems->OPCRemoveAllItems();
    } catch (...) {
        Pending = std::current_exception();
    }
    FItemMgt.Reset();
    if (FServerHandle != NoHandle && FOPCServer && FOPCServer->HasServerIF()) {
        platform::ComPtr<IOPCServer> Server = FOPCServer->GetOPCServer();
        if (Server)
            Server->RemoveGroup(FServerHandle, FALSE);
    }
    FServerHandle = NoHandle;
    if (Pending)
        std::rethrow_exception(Pending);
}

// --- TVexoGroup: state ---------------------------------------------------------------

void TVexoGroup::SetState(std::int32_t &AUpdateRate, bool AActive, std::int32_t ATimeBias,
                          float ADeadBand, std::int32_t ALocaleId, std::int32_t AClientHandle) {
    if (!FGroupStateMgt)
        return;
    DWORD Requested = static_cast<DWORD>(AUpdateRate);
    DWORD Revised = Requested; // kept if the server writes none
    BOOL Active = AActive ? -1 : 0;
    LONG TimeBias = ATimeBias;
    FLOAT DeadBand = ADeadBand;
    DWORD Lcid = static_cast<DWORD>(ALocaleId);
    OPCHANDLE Client = static_cast<OPCHANDLE>(AClientHandle);
    OPCCheck(FGroupStateMgt->SetState(&Requested, &Revised, &Active, &TimeBias, &DeadBand, &Lcid,
                                      &Client));
    AUpdateRate = RateOf(Revised);
}

void TVexoGroup::GetState(tGroupStateRec &State) {
    if (!FGroupStateMgt) {
        State = tGroupStateRec{};
        if (FOPCServer)
            FOPCServer->Fault(VexoLoadStr(_STR_NOTACTIVE));
        else
            throw EOPCException(VexoLoadStr(_STR_NOTACTIVE));
        return;
    }
    DWORD UpdateRate = 0;
    BOOL Active = 0;
    LPWSTR Name = nullptr;
    LONG TimeBias = 0;
    FLOAT DeadBand = 0;
    DWORD Lcid = 0;
    OPCHANDLE Client = 0;
    OPCHANDLE ServerGroup = 0;
    const HRESULT Hr = FGroupStateMgt->GetState(&UpdateRate, &Active, &Name, &TimeBias, &DeadBand,
                                                &Lcid, &Client, &ServerGroup);
    if (FAILED(Hr)) {
        platform::CoTaskMemFree(Name);
        OPCCheck(Hr);
    }
    State.UpdateRate = UpdateRate;
    State.IsActive = Active != 0;
    State.Name = platform::WideToString(Name);
    State.TimeBias = TimeBias;
    State.DeadBand = DeadBand;
    State.LocaleId = Lcid;
    State.ClientHandle = Client;
    State.ServerHandle = ServerGroup;
    platform::CoTaskMemFree(Name);
}

// --- TVexoGroup: setters ---------------------------------------------------------------
//
// Each setter sends first and stores afterwards, so a refusal keeps the old value.

void TVexoGroup::SetName(const std::string &Value) {
    if (Value == FName)
        return;
    if (FGroupStateMgt) {
        const platform::WideString WName = platform::Utf8ToUtf16(Value);
        OPCCheck(FGroupStateMgt->SetName(WName.c_str()));
    }
    FName = Value;
}

void TVexoGroup::SetIsActive(bool Value) {
    if (Value == FIsActive)
        return;
    SetState(FUpdateRate, Value, FTimeBias, FDeadBand, FLocaleId, ID());
    FIsActive = Value;
}

void TVexoGroup::SetUpdateRate(std::int32_t Value) {
    if (Value == FUpdateRate)
        return;
    std::int32_t Rate = Value;
    SetState(Rate, FIsActive, FTimeBias, FDeadBand, FLocaleId, ID());
    FUpdateRate = Rate;
}

void TVexoGroup::SetDeadBand(float Value) {
    if (Value == FDeadBand)
        return;
    SetState(FUpdateRate, FIsActive, FTimeBias, Value, FLocaleId, ID());
    FDeadBand = Value;
}

void TVexoGroup::SetLocaleId(std::int32_t Value) {
    if (Value == FLocaleId)
        return;
    SetState(FUpdateRate, FIsActive, FTimeBias, FDeadBand, Value, ID());
    FLocaleId = Value;
}

void TVexoGroup::SetTimeBias(std::int32_t Value) {
    if (Value == FTimeBias)
        return;
    SetState(FUpdateRate, FIsActive, Value, FDeadBand, FLocaleId, ID());
    FTimeBias = Value;
}

} // namespace vexo
