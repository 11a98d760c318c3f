//===- AdviseSink.cpp - the IAdviseSink of a group and its registration ---===//
//
// TVexoAdviseSink receives a group's data as DA 1.0 streams: blocks of global
// memory in the standard layout, delivered through IDataObject advises, one
// for the data-with-time stream and one for the write-complete stream (a
// write names that advise's connection, so its outcome comes back). This
// file holds the sink, the data-object advise routines and the registration
// of the three stream formats; reading a block is in AdviseSinkStream.cpp.
//
//===----------------------------------------------------------------------===//

#include <memory>
#include <mutex>

#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/client/TVexoItemList.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/foundation/Conversions.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/GlobalMemory.h>
#include <vexo/platform/Time.h>

namespace vexo {

// --- Stream formats -----------------------------------------------------------

UINT OPCSTMFORMATDATA = 0;
UINT OPCSTMFORMATDATATIME = 0;
UINT OPCSTMFORMATWRITECOMPLETE = 0;

namespace {

std::once_flag FormatsOnce;

/// Registers the formats at start-up; the first registration wins, later
/// calls (the lazy ones below) find them done.
struct FormatsRegistrar {
    FormatsRegistrar() { OPCDARegisterClipboardFormats(); }
} const RegisterFormatsAtStart;

} // namespace

void OPCDARegisterClipboardFormats() {
    std::call_once(FormatsOnce, [] {
        OPCSTMFORMATDATA = platform::RegisterClipboardFormatA("OPCSTMFORMATDATA");
        OPCSTMFORMATDATATIME = platform::RegisterClipboardFormatA("OPCSTMFORMATDATATIME");
        OPCSTMFORMATWRITECOMPLETE =
            platform::RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE");
    });
}

// --- Data-object advise ---------------------------------------------------------

namespace {

platform::ComPtr<IDataObject> DataObjectOf(IUnknown *Source) {
    platform::ComPtr<IDataObject> Data;
    if (!Source)
        return Data;
    try {
        if (FAILED(Source->QueryInterface(IID_IDataObject, Data.PutVoid())))
            Data.Reset();
    } catch (...) {
        Data.Reset();
    }
    return Data;
}

} // namespace

HRESULT DataObjectAdvise(IUnknown *Source, IAdviseSink *Sink, DWORD &Connection) {
    OPCDARegisterClipboardFormats();
    return DataObjectAdviseFormat(Source, Sink, OPCSTMFORMATDATATIME, ADVF_PRIMEFIRST, Connection);
}

HRESULT DataObjectAdviseFormat(IUnknown *Source, IAdviseSink *Sink, UINT FormatId, DWORD Advf,
                               DWORD &Connection) {
    HRESULT Result = E_FAIL;
    platform::ComPtr<IUnknown> HeldSource(Source);
    platform::ComPtr<IAdviseSink> HeldSink(Sink);
    platform::ComPtr<IDataObject> Data = DataObjectOf(Source);
    if (!Data)
        return Result;
    FORMATETC Format{};
    Format.cfFormat = static_cast<CLIPFORMAT>(FormatId & 0xFFFF);
    Format.ptd = nullptr;
    Format.dwAspect = DVASPECT_CONTENT;
    Format.lindex = -1;
    Format.tymed = TYMED_HGLOBAL;
    Connection = 0;
    try {
        Result = Data->DAdvise(&Format, Advf, Sink, &Connection);
    } catch (...) {
        Result = E_FAIL;
    }
    if (FAILED(Result))
        Connection = 0;
    return Result;
}

HRESULT DataObjectUnadvise(IUnknown *Source, DWORD Connection) {
    platform::ComPtr<IDataObject> Data = DataObjectOf(Source);
    if (!Data)
        return E_FAIL;
    try {
        return Data->DUnadvise(Connection);
    } catch (...) {
        return E_FAIL;
    }
}

// --- The sink ---------------------------------------------------------------------

TVexoAdviseSink::TVexoAdviseSink(TVexoGroup *Group)
    : FGroup(Group), FGroupID(Group ? Group->ID() : -1), FTarget(0) {
    // Guard reference while advising (see TVexoDataCallback): a server may
    // prime the sink, or take and drop references, inside DAdvise.
    FRefs.store(1, std::memory_order_relaxed);
    if (Group) {
        if (TVexoServer *Server = Group->OPCServer())
            FTarget = Server->GetHandle();
        FAdviseResult = DataObjectAdvise(Group->ItemMgt(), this, FConnection);
        // Writes answer through an advise of their own format. A server that
        // refuses it still gets the data connection, as older clients sent.
        if (FAdviseResult == S_OK &&
            FAILED(DataObjectAdviseFormat(Group->ItemMgt(), this, OPCSTMFORMATWRITECOMPLETE, 0,
                                          FWriteConnection)))
            FWriteConnection = 0;
    }
    FRefs.fetch_sub(1, std::memory_order_acq_rel);
}

TVexoAdviseSink::~TVexoAdviseSink() = default;

ULONG TVexoAdviseSink::AddRef() { return FRefs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG TVexoAdviseSink::Release() {
    ULONG Left = FRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (Left == 0)
        delete this;
    return Left;
}

void TVexoAdviseSink::UnAdvise() {
    // Owner thread. The gate is not held across DUnadvise: a server may wait
    // there for a notification that is running in this sink.
    TVexoGroup *Group;
    {
        std::lock_guard<std::mutex> Gate(FGate);
        Group = FGroup;
    }
    if (SUCCEEDED(FAdviseResult) && Group) {
        if (FWriteConnection != 0)
            DataObjectUnadvise(Group->ItemMgt(), FWriteConnection);
        DataObjectUnadvise(Group->ItemMgt(), FConnection);
    }
    FAdviseResult = E_FAIL;
    FWriteConnection = 0;
}

void TVexoAdviseSink::Detach() {
    std::lock_guard<std::mutex> Gate(FGate);
    FGroup = nullptr;
}

void TVexoAdviseSink::OnDataChange(FORMATETC *pFormatetc, STGMEDIUM *pStgmed) {
    try {
        std::lock_guard<std::mutex> Gate(FGate);
        if (!FGroup || !FGroup->ItemMgt()) {
            // The group has left the server: the notification is late.
            Beep();
            return;
        }
        if (!pFormatetc || !pStgmed || pStgmed->tymed != TYMED_HGLOBAL || !pStgmed->hGlobal)
            return;
        OPCDARegisterClipboardFormats();
        const UINT Format = pFormatetc->cfFormat;
        const bool WithTime = Format == (OPCSTMFORMATDATATIME & 0xFFFF);
        const bool WriteComplete = Format == (OPCSTMFORMATWRITECOMPLETE & 0xFFFF);
        if (!WithTime && !WriteComplete && Format != (OPCSTMFORMATDATA & 0xFFFF))
            return;

        HGLOBAL Block = pStgmed->hGlobal;
        const auto *Data = static_cast<const BYTE *>(platform::GlobalLock(Block));
        if (!Data)
            return;
        struct Unlock {
            HGLOBAL H;
            ~Unlock() { platform::GlobalUnlock(H); }
        } Unlocker{Block};
        if (WriteComplete) {
            HandleWriteComplete(Data, platform::GlobalSize(Block));
            return;
        }

        StreamHeader Header{};
        std::vector<StreamEntry> Entries;
        // Set up before parsing: values read before a failure (even an
        // exception) are cleared.
        struct Clear {
            std::vector<StreamEntry> &E;
            ~Clear() { ClearEntries(E); }
        } Clearer{Entries};
        const bool Valid = ParseStream(Data, platform::GlobalSize(Block), WithTime, Header, Entries);
        // The transaction ended even when its items are unreadable: a later
        // cancel must not name it.
        if (Header.Read)
            FGroup->ClearTaskId(Header.TransactionID);
        if (!Valid)
            return; // a malformed block is ignored as a whole
        if (FAILED(Header.Status))
            return;

        auto List = std::make_unique<TVexoItemList>();
        List->SetGroupID(FGroupID);
        List->ReserveFromCallback(static_cast<int>(Entries.size()));
        {
            TVexoItems *Items = FGroup->OPCItems();
            const int Offset = platform::CurrentUtcOffsetMinutes();
            auto Lock = Items->LockForCallback();
            for (const StreamEntry &E : Entries) {
                try {
                    TVexoItem *Item = Items->ItemFromHandle(E.hClient);
                    if (!Item)
                        continue;
                    List->AddFromCallback(Item, E.hClient);
                    // Only the two major quality bits travel on this path.
                    Item->StoreValueKeepError(E.Value, E.Quality & 0xC0,
                                              WithTime ? FileTimeToDateTime(E.TimeStamp, Offset) : 0,
                                              WithTime);
                } catch (...) {
                }
            }
        }
        if (List->Count() == 0)
            return;
        if (PostMessage(FTarget, CM_OPCDATACHANGE, static_cast<WPARAM>(FGroupID),
                        reinterpret_cast<LPARAM>(List.get())))
            List.release();
    } catch (...) {
    }
}

void TVexoAdviseSink::HandleWriteComplete(const BYTE *Data, SIZE_T Size) {
    StreamHeader Header{};
    std::vector<WriteEntry> Entries;
    const bool Valid = ParseWriteStream(Data, Size, Header, Entries);
    // The write ended even when its items are unreadable.
    if (Header.Read)
        FGroup->ClearTaskId(Header.TransactionID);
    if (!Valid)
        return;
    std::vector<OPCHANDLE> Handles;
    std::vector<HRESULT> Errors;
    Handles.reserve(Entries.size());
    Errors.reserve(Entries.size());
    for (const WriteEntry &E : Entries) {
        Handles.push_back(E.hClient);
        Errors.push_back(E.Error);
    }
    // Like the DA 2.0 completion, the items carry their own codes whatever
    // the block's status says.
    PostWriteResults(*FGroup, FGroupID, FTarget, static_cast<DWORD>(Entries.size()),
                     Handles.data(), Errors.data());
}

} // namespace vexo
