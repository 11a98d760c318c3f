//===- TVexoItem.cpp - one data point of a group -------------------------===//
//
// This file implements TVexoItem: its defaults, the single-item command path
// (OPCCommand) with its report, the setters, single-item writes, the texts it
// offers, and the guarded fields that callback threads write. The guard is a
// per-item spin lock held only for a few word copies, so the data path does
// not allocate for scalar values and never blocks for long.
//
//===----------------------------------------------------------------------===//
#include <vexo/client/TVexoItem.h>

#include <exception>
#include <thread>
#include <utility>

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItemList.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/SysUtils.h>

namespace vexo {

namespace {
constexpr OPCHANDLE NoHandle = static_cast<OPCHANDLE>(-1);
} // namespace

/// Holds the item's spin lock for its lifetime.
class TVexoItem::SpinGuard {
  public:
    explicit SpinGuard(const TVexoItem &Item) : FFlag(Item.FLock) {
        while (FFlag.test_and_set(std::memory_order_acquire)) {
            // Spin on a plain load so the cache line is not written while waiting.
            for (int Spins = 0; FFlag.test(std::memory_order_relaxed); ++Spins)
                if (Spins > 64)
                    std::this_thread::yield();
        }
    }
    ~SpinGuard() { FFlag.clear(std::memory_order_release); }
    SpinGuard(const SpinGuard &) = delete;
    SpinGuard &operator=(const SpinGuard &) = delete;

  private:
    std::atomic_flag &FFlag;
};

// --- Construction and destruction --------------------------------------------

TVexoItem::TVexoItem(TCollection *Collection) : TCollectionItem(Collection) {
    auto *Items = static_cast<TVexoItems *>(Collection);
    FGroup = Items ? Items->Group() : nullptr;
    if (FGroup && FGroup->DefaultItem()) {
        const TVexoDefaultItem &D = *FGroup->DefaultItem();
        FIsActive = D.IsActive;
        FRequestDatatype = D.RequestDataType;
        FAccessPath = D.AccessPath;
    }
    if (Items)
        FClientHandle = Items->AllocateHandle(this);
}

// The removal's report must not interrupt destruction: it goes to the
// application's handler. The handle is released last, under the callback
// lock, so a callback that already resolved it has finished with the item.
TVexoItem::~TVexoItem() {
    SetLastError(0);
    try {
        OPCCommand(0);
    } catch (...) {
        Application->HandleException(this);
    }
    if (auto *Items = static_cast<TVexoItems *>(Collection()))
        Items->ReleaseHandle(FClientHandle);
}

std::string TVexoItem::GetDisplayName() const {
    return Trim(FItemID).empty() ? TCollectionItem::GetDisplayName() : FItemID;
}

// --- Item commands ----------------------------------------------------------------

void TVexoItem::OPCCommand(int Command, bool Value) {
    TVexoServer *Server = FGroup ? FGroup->OPCServer() : nullptr;
    if (!Server || Server->BatchMode() || !Server->Active())
        return;
    // The report below is about this command only: an error left from an
    // earlier operation must not be reported again, nor hide this one's.
    SetLastError(0);
    TVexoItems *Items = FGroup->OPCItems();
    TVexoItemList List(this);
    std::exception_ptr Pending;
    try {
        switch (Command) {
        case 0:
            if (FServerHandle != NoHandle)
                Items->OPCRemoveItems(&List);
            break;
        case 1:
            Items->OPCAddItems(&List, true);
            break;
        case 2:
            Items->OPCActiveItems(&List, Value);
            break;
        case 3:
            Items->OPCValidateItems(&List);
            break;
        case 4:
            Items->OPCSetDataTypes(&List);
            break;
        default:
            // The number is filled in: a report showing "%d" would hide which command it was.
            throw EOPCException(Format(VexoLoadStr(_STR_UNKNOWN), {Command}));
        }
    } catch (...) {
        Pending = std::current_exception();
    }
    // The item's own report wins over the exception of the command.
    List.CheckOPCErrors("OPC Command:", true);
    if (Pending)
        std::rethrow_exception(Pending);
}

// --- Setters -------------------------------------------------------------------------

void TVexoItem::SetItemID(const std::string &Value) {
    if (FServerHandle != NoHandle)
        throw EOPCException(VexoLoadStr(_STR_NOTPOSSIBLE));
    FItemID = Value;
    if (FGroup && FGroup->OPCServer() && FGroup->OPCServer()->IsDesigning())
        OPCCommand(3);
}

void TVexoItem::SetAccessPath(const std::string &Value) {
    if (FServerHandle != NoHandle)
        throw EOPCException(VexoLoadStr(_STR_NOTPOSSIBLE));
    FAccessPath = Value;
    if (FGroup && FGroup->OPCServer() && FGroup->OPCServer()->IsDesigning())
        OPCCommand(3);
}

void TVexoItem::SetIsActive(bool Value) {
    if (Value == FIsActive)
        return;
    FIsActive = Value;
    if (FGroup && FGroup->OPCServer() && !FGroup->OPCServer()->IsDesigning())
        OPCCommand(2, Value);
}

void TVexoItem::SetRequestDatatype(OPCADatatype Value) {
    if (Value == FRequestDatatype)
        return;
    FRequestDatatype = Value;
    if (FGroup && FGroup->OPCServer() && !FGroup->OPCServer()->IsDesigning())
        OPCCommand(4);
}

// --- Writes and texts ---------------------------------------------------------------

const OleVariant &TVexoItem::WriteValue() const {
    static const OleVariant None;
    return FRare ? FRare->WriteValue : None;
}

void TVexoItem::WriteSync(const OleVariant &Value) {
    SetWriteValue(Value);
    TVexoItemList List(this);
    if (!FGroup->SyncWrite(&List))
        ReportWriteFailure(List);
}

void TVexoItem::WriteAsync(const OleVariant &Value) {
    SetWriteValue(Value);
    TVexoItemList List(this);
    if (!FGroup->AsyncWrite(&List))
        ReportWriteFailure(List);
}

void TVexoItem::ReportWriteFailure(const TVexoItemList &List) const {
    const std::string Header = VexoLoadStr(_STR_WRITERROR);
    List.CheckOPCErrors(Header, true);
    // No item error means nothing was sent (the group is not on the server, or
    // offers no interface for this write): that must not pass for success.
    const std::string Reason = FGroup->IsOnServer() ? GetOPCErrorMessage(E_NOINTERFACE)
                                                    : VexoLoadStr(_STR_NOTACTIVE);
    throw EOPCException(Header + "\r\n" + ItemID() + "-" + Reason + "\r\n");
}

std::string TVexoItem::GetLastErrorStr() const {
    const HRESULT Code = LastError();
    if (Code == 0)
        return {};
    std::string Msg = GetOPCErrorMessage(Code);
    if (Trim(Msg).empty())
        return Format(VexoLoadStr(_STR_UNKNOWN), {static_cast<int>(Code)});
    return Msg;
}

std::string TVexoItem::ValueStr() const { return VarToAStr(Value()); }

bool TVexoItem::IsGoodQuality() const { return (Quality() & 0xC0) == 0xC0; }

// --- Guarded fields ------------------------------------------------------------------

OleVariant TVexoItem::Value() const {
    SpinGuard Guard(*this);
    return FValue;
}

std::int32_t TVexoItem::Quality() const {
    SpinGuard Guard(*this);
    return FQuality;
}

TDateTime TVexoItem::TimeStamp() const {
    SpinGuard Guard(*this);
    return FTimeStamp;
}

HRESULT TVexoItem::LastError() const {
    SpinGuard Guard(*this);
    return FLastError;
}

TVexoItemValue TVexoItem::Snapshot() const {
    TVexoItemValue Result;
    SpinGuard Guard(*this);
    Result.Value = FValue;
    Result.Quality = FQuality;
    Result.TimeStamp = FTimeStamp;
    Result.LastError = FLastError;
    return Result;
}

void TVexoItem::SetLastError(HRESULT Value) {
    SpinGuard Guard(*this);
    FLastError = Value;
}

void TVexoItem::SetQuality(std::int32_t Value) {
    SpinGuard Guard(*this);
    FQuality = Value;
}

// The copy is made outside the lock and swapped in; the old value is cleared
// after the lock is released (it may own a string or an array).
void TVexoItem::StoreValue(const VARIANT &Value, std::int32_t Quality, TDateTime TimeStamp,
                           HRESULT Error) {
    OleVariant Copy(Value);
    {
        SpinGuard Guard(*this);
        std::swap(FValue.Var(), Copy.Var());
        FQuality = Quality;
        FTimeStamp = TimeStamp;
        FLastError = Error;
    }
}

void TVexoItem::StoreValueKeepError(const VARIANT &Value, std::int32_t Quality, TDateTime TimeStamp,
                                    bool SetTimeStamp) {
    OleVariant Copy(Value);
    {
        SpinGuard Guard(*this);
        std::swap(FValue.Var(), Copy.Var());
        FQuality = Quality;
        if (SetTimeStamp)
            FTimeStamp = TimeStamp;
    }
}

void TVexoItem::SetFailed(HRESULT Error) {
    SpinGuard Guard(*this);
    FQuality = 0;
    FLastError = Error;
}

} // namespace vexo
