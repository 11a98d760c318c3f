//===- TVexoItem.cpp - one data point of a group -------------------------===//
//
// This file implements TVexoItem: its defaults, the single-item command path
// (OPCCommand) with its report, the setters, single-item writes, the texts it
// offers, and the guarded fields that callback threads write. The guard is a
// per-item spin lock held only for a few word copies (strings and arrays sit
// in an immutable shared box whose pointer is what the lock guards), so the
// data path does not allocate for scalar values and never blocks for long.
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
#include <vexo/platform/ErrorText.h>

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
    // An item read from a stream keeps the properties' own defaults (see the
    // group's constructor); only items made at run time take the group's.
    const bool Loading = FGroup && FGroup->OPCServer() && FGroup->OPCServer()->IsLoading();
    if (FGroup && FGroup->DefaultItem() && !Loading) {
        const TVexoDefaultItem &D = *FGroup->DefaultItem();
        FIsActive = D.IsActive;
        FRequestDatatype = D.RequestDataType;
        if (!D.AccessPath.empty())
            Rare().AccessPath = D.AccessPath;
    }
    if (Items)
        Items->AllocateHandle(this);
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
    // While loading, Active is only the value read so far: nothing is sent.
    if (!Server || Server->BatchMode() || !Server->Active() || Server->IsLoading())
        return;
    // The report below is about this command only: an error left from an
    // earlier operation must not be reported again, nor hide this one's.
    SetLastError(0);
    // Through the item itself: while a group is being destroyed its items
    // collection is no longer reachable from the group.
    auto *Items = static_cast<TVexoItems *>(Collection());
    if (!Items)
        return;
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
    if (FRare || !Value.empty())
        Rare().AccessPath = Value;
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

const std::string &TVexoItem::AccessPath() const {
    static const std::string None;
    return FRare ? FRare->AccessPath : None;
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
    // E_NOINTERFACE is no OPC code: the system's text names the reason.
    const std::string Reason = FGroup->IsOnServer() ? platform::SystemErrorText(E_NOINTERFACE)
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

// A value that owns memory lives in an immutable shared box: the lock only
// copies the box's pointer, and the deep copy for the caller is made after
// the lock is released. Plain values are copied bit for bit under the lock.
OleVariant TVexoItem::Value() const {
    std::shared_ptr<const OleVariant> Box;
    VARIANT Bits;
    {
        SpinGuard Guard(*this);
        Box = FBoxedValue;
        Bits = FValue.Var();
    }
    if (Box)
        return *Box;
    return OleVariant::Attach(Bits);
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
    std::shared_ptr<const OleVariant> Box;
    VARIANT Bits;
    {
        SpinGuard Guard(*this);
        Box = FBoxedValue;
        Bits = FValue.Var();
        Result.Quality = FQuality;
        Result.TimeStamp = FTimeStamp;
        Result.LastError = FLastError;
    }
    if (Box)
        Result.Value = *Box;
    else
        Result.Value = OleVariant::Attach(Bits);
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

namespace {

/// True for a value held entirely in the VARIANT's own bytes.
bool IsPlainValue(VARTYPE Vt) {
    switch (Vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_ERROR: case VT_BOOL: case VT_DECIMAL: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

} // namespace

// The copy (and the box of a value that owns memory) is made outside the lock
// and swapped in; the old value is released after the lock is let go.
void TVexoItem::BoxOwnedValue(OleVariant &Copy, std::shared_ptr<const OleVariant> &Box) {
    if (!IsPlainValue(Copy.VarType())) {
        Box = std::make_shared<const OleVariant>(std::move(Copy));
        Copy.Clear();
    }
}

void TVexoItem::StoreValue(const VARIANT &Value, std::int32_t Quality, TDateTime TimeStamp,
                           HRESULT Error) {
    // A plain value (the usual case) is stored bit for bit: neither it nor the
    // plain or empty value it replaces owns anything; a box it replaces is
    // released after the lock is let go.
    if (IsPlainValue(Value.vt)) {
        std::shared_ptr<const OleVariant> Old;
        SpinGuard Guard(*this);
        FValue.Var() = Value;
        FBoxedValue.swap(Old);
        FQuality = Quality;
        FTimeStamp = TimeStamp;
        FLastError = Error;
        return;
    }
    OleVariant Copy(Value);
    std::shared_ptr<const OleVariant> Box;
    BoxOwnedValue(Copy, Box);
    {
        SpinGuard Guard(*this);
        std::swap(FValue.Var(), Copy.Var());
        FBoxedValue.swap(Box);
        FQuality = Quality;
        FTimeStamp = TimeStamp;
        FLastError = Error;
    }
}

void TVexoItem::StoreValueKeepError(const VARIANT &Value, std::int32_t Quality, TDateTime TimeStamp,
                                    bool SetTimeStamp) {
    OleVariant Copy(Value);
    std::shared_ptr<const OleVariant> Box;
    BoxOwnedValue(Copy, Box);
    {
        SpinGuard Guard(*this);
        std::swap(FValue.Var(), Copy.Var());
        FBoxedValue.swap(Box);
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
