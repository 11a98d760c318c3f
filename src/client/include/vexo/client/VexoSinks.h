//===- VexoSinks.h - the callback objects servers call -------------------===//
//
// The shutdown sink, the DA 2.0 data callback and the DA 1.0 advise sink, and
// the registration helpers they use. Sinks run on whatever thread the server
// calls them on; they never run application code: they store into items,
// build a TVexoItemList and post it to the server component's message target.
// Each sink can be detached from its owner; a detached sink ignores late
// calls, and detaching waits for a call that is running in it.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/client/VexoTypes.h>
#include <vexo/framework/Interfaced.h>

namespace vexo {

/// Registers Sink at Server's connection point for IID; E_FAIL without a
/// container or point, otherwise what Advise answers. Never raises.
HRESULT AdviseConnectionPoint(IUnknown *Server, const IID &IID, IUnknown *Sink, DWORD &Cookie);
HRESULT UnadviseConnectionPoint(IUnknown *Server, const IID &IID, DWORD Cookie);
/// Advises Sink on Source's IDataObject for the data-with-time stream.
HRESULT DataObjectAdvise(IUnknown *Source, IAdviseSink *Sink, DWORD &Connection);
/// Advises Sink on Source's IDataObject for the stream format Format (a
/// registered id) with the advise flags Advf. Never raises.
HRESULT DataObjectAdviseFormat(IUnknown *Source, IAdviseSink *Sink, UINT Format, DWORD Advf,
                               DWORD &Connection);
HRESULT DataObjectUnadvise(IUnknown *Source, DWORD Connection);

/// Clipboard-format ids of the DA 1.0 streams, registered once at start-up.
extern UINT OPCSTMFORMATDATA;
extern UINT OPCSTMFORMATDATATIME;
extern UINT OPCSTMFORMATWRITECOMPLETE;
void OPCDARegisterClipboardFormats();

/// IOPCShutdown sink of one server component.
class TVexoShutdownEvent final : public TInterfacedObject<IOPCShutdown> {
  public:
    /// Captures AOwner's message target and connection (owner thread); does
    /// not register, so a sink whose count is still 0 is never released.
    explicit TVexoShutdownEvent(TVexoServer *AOwner);
    /// Creates a sink for AOwner and registers it with AOwner's server; the
    /// result stays in AdviseResult(). Owner thread; never raises for a
    /// server that refuses the registration.
    static platform::ComPtr<TVexoShutdownEvent> Create(TVexoServer *AOwner);
    ~TVexoShutdownEvent() override;
    /// Posts CM_OPCSHUTDOWN to the owner unless detached; always S_OK.
    HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) override;
    /// Forgets the owner; waits for a running ShutdownRequest.
    void Detach();
    HRESULT AdviseResult() const { return FAdviseResult; }
    DWORD Cookie() const { return FCookie; }

  private:
    std::mutex FGate;
    TVexoServer *FOwner;
    HWND FTarget;
    WPARAM FConnection; // the owner's connection number, sent as WParam
    DWORD FCookie = 0;
    HRESULT FAdviseResult = E_FAIL;
};

/// IOPCDataCallback sink of one group (DA 2.0).
class TVexoDataCallback final : public TInterfacedObject<IOPCDataCallback> {
  public:
    explicit TVexoDataCallback(TVexoGroup *Group);
    ~TVexoDataCallback() override;
    HRESULT STDMETHODCALLTYPE OnDataChange(DWORD dwTransid, OPCHANDLE hGroup,
                                           HRESULT hrMasterquality, HRESULT hrMastererror,
                                           DWORD dwCount, OPCHANDLE *phClientItems,
                                           VARIANT *pvValues, WORD *pwQualities,
                                           FILETIME *pftTimeStamps, HRESULT *pErrors) override;
    HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                             HRESULT hrMasterquality, HRESULT hrMastererror,
                                             DWORD dwCount, OPCHANDLE *phClientItems,
                                             VARIANT *pvValues, WORD *pwQualities,
                                             FILETIME *pftTimeStamps, HRESULT *pErrors) override;
    HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                              HRESULT hrMastererr, DWORD dwCount,
                                              OPCHANDLE *pClienthandles, HRESULT *pErrors) override;
    HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) override;
    void ClearTaskId(DWORD Id);
    /// Forgets the group; waits for a running callback.
    void Detach();
    /// For a sink the group does not keep: cancels a registration the server
    /// made (any success code), then detaches. Owner thread.
    void Withdraw();
    HRESULT AdviseResult() const { return FAdviseResult; }
    /// Counted by the sink itself, so that a server taking and dropping
    /// references during the registration in the constructor cannot free it.
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

  private:
    /// Stores one data change or read completion and posts it; FGate held.
    void DeliverData(OPCHANDLE hGroup, DWORD dwCount, const OPCHANDLE *phClientItems,
                     const VARIANT *pvValues, const WORD *pwQualities,
                     const FILETIME *pftTimeStamps, const HRESULT *pErrors);

    std::atomic<ULONG> FRefs{0};
    std::mutex FGate;
    TVexoGroup *FGroup;
    int FGroupID;
    HWND FTarget;
    DWORD FCookie = 0;
    HRESULT FAdviseResult = E_FAIL;
};

/// IAdviseSink of one group for the DA 1.0 streams: advised for the
/// data-with-time stream and for the write-complete stream, whose connection
/// the group's asynchronous writes name so that their outcome comes back.
class TVexoAdviseSink final : public TInterfacedObject<IAdviseSink> {
  public:
    explicit TVexoAdviseSink(TVexoGroup *Group);
    ~TVexoAdviseSink() override;
    /// The DA 1.0 stream handler: reads the block as the standard lays it out,
    /// checking every offset and length against its size; ignores a malformed
    /// one. Write-complete streams reach the application as write events.
    void STDMETHODCALLTYPE OnDataChange(FORMATETC *pFormatetc, STGMEDIUM *pStgmed) override;
    void STDMETHODCALLTYPE OnViewChange(DWORD, LONG) override {}
    void STDMETHODCALLTYPE OnRename(IMoniker *) override {}
    void STDMETHODCALLTYPE OnSave() override {}
    void STDMETHODCALLTYPE OnClose() override {}
    /// Cancels both advises once; a second call sends nothing.
    void UnAdvise();
    /// Forgets the group; waits for a running callback.
    void Detach();
    /// The data advise's connection (reads and refreshes name it).
    DWORD Connection() const { return FConnection; }
    HRESULT AdviseResult() const { return FAdviseResult; }
    /// The write-complete advise's connection (writes name it); the data
    /// connection when the server refused that advise.
    DWORD WriteConnection() const { return FWriteConnection ? FWriteConnection : FConnection; }

    /// Parses one stream block into (handle, value, quality, time) entries;
    /// false for a malformed block. Exposed for the fuzz target and tests.
    struct StreamEntry {
        OPCHANDLE hClient;
        VARIANT Value; // owned: cleared by the caller
        WORD Quality;
        FILETIME TimeStamp;
    };
    struct StreamHeader {
        DWORD ItemCount;
        DWORD TransactionID;
        HRESULT Status;
        bool Read; ///< the group header was in the block (even if the items were not)
    };
    static bool ParseStream(const BYTE *Block, SIZE_T Size, bool WithTime, StreamHeader &Header,
                            std::vector<StreamEntry> &Entries);
    /// Parses a write-complete block into (handle, result code) entries; false
    /// for a malformed block (Header.Read tells whether its header was there).
    struct WriteEntry {
        OPCHANDLE hClient;
        HRESULT Error;
    };
    static bool ParseWriteStream(const BYTE *Block, SIZE_T Size, StreamHeader &Header,
                                 std::vector<WriteEntry> &Entries);
    /// Clears the values of Entries and empties it.
    static void ClearEntries(std::vector<StreamEntry> &Entries);

    /// Counted by the sink itself (see TVexoDataCallback).
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

  private:
    /// Handles a locked block of a write-complete stream; FGate held.
    void HandleWriteComplete(const BYTE *Data, SIZE_T Size);

    std::atomic<ULONG> FRefs{0};
    std::mutex FGate;
    TVexoGroup *FGroup;
    int FGroupID;
    HWND FTarget;
    DWORD FConnection = 0;
    HRESULT FAdviseResult = E_FAIL;
    DWORD FWriteConnection = 0; ///< 0 when the write-complete advise failed
};

/// Stores the outcome of an asynchronous write into Group's items (LastError,
/// and Quality 0 for a failed one: any code but 0) and posts to Target one
/// CM_OPCWRITEERROR listing the failed items, or an empty CM_OPCWRITECOMPLETE.
/// Callback thread; handles name items of Group.
void PostWriteResults(TVexoGroup &Group, int GroupID, HWND Target, DWORD Count,
                      const OPCHANDLE *Handles, const HRESULT *Errors);

} // namespace vexo
