//===- DataPathSupport.h - helpers of the data-path and group I/O tests ---===//
//
// A fixture with one connected server component in manual scan mode that
// records every data, write-error and write-complete event (a copy of each
// list), and a builder of DA 1.0 stream blocks laid out as servers write
// them, for feeding the advise sink by hand.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "ClientFixture.h"

#include <vexo/StreamLayout.h>
#include <vexo/platform/GlobalMemory.h>
#include <vexo/platform/Time.h>

namespace vexo::test {

/// One event as the application saw it: which handler, which items.
struct SeenEvent {
    enum Kind { DataChange, WriteError, WriteComplete } What;
    std::vector<TVexoItem *> Items;
    std::vector<TVexoItemValue> Values; ///< each item as the handler saw it
};

class DataPathFixture : public ClientFixture {
  protected:
    /// Connects a new component to ProgID in manual mode and hooks its events.
    void Open(const std::string &ProgID = SimProgID) {
        Server = NewServer();
        Control = ConnectManual(*Server, ProgID);
        ASSERT_TRUE(Control);
        Server->OnDatachange = [this](TObject *, TVexoItemList *L) {
            Record(SeenEvent::DataChange, L);
        };
        Server->OnWriteError = [this](TObject *, TVexoItemList *L) {
            Record(SeenEvent::WriteError, L);
        };
        Server->OnWriteComplete = [this](TObject *, TVexoItemList *L) {
            Record(SeenEvent::WriteComplete, L);
        };
    }
    void TearDown() override {
        Events.clear(); // the recorded values hold strings
        Control = nullptr;
        ClientFixture::TearDown();
    }
    /// A group on the server with one item per id.
    TVexoGroup *AddGroup(const std::string &Name, const std::vector<std::string> &Ids) {
        TVexoGroup *G = Server->OPCGroups()->Add(Name);
        for (const std::string &Id : Ids)
            G->OPCItems()->AddItem(Id);
        return G;
    }
    /// Waits for an event of kind K; its index, or -1.
    int WaitEvent(SeenEvent::Kind K) {
        auto Find = [&] {
            for (std::size_t i = 0; i < Events.size(); ++i)
                if (Events[i].What == K)
                    return static_cast<int>(i);
            return -1;
        };
        PumpUntil([&] { return Find() >= 0; });
        return Find();
    }
    bool WaitEvents(std::size_t N) {
        return PumpUntil([&] { return Events.size() >= N; });
    }
    /// Runs one scan of the simulation server and delivers what it posted.
    void Scan(DWORD AdvanceMs = 1000) {
        ASSERT_EQ(Control->RunScan(AdvanceMs), S_OK);
        Application->ProcessMessages();
    }
    std::vector<std::string> Log() { return SimCallLog(Control.Get()); }
    /// Lines of the call log that start with Method followed by a blank.
    std::vector<std::string> Calls(const std::string &Method) {
        std::vector<std::string> Out;
        for (const std::string &L : Log())
            if (L.rfind(Method + " ", 0) == 0 || L == Method)
                Out.push_back(L);
        return Out;
    }

    TVexoServer *Server = nullptr;
    platform::ComPtr<IVexoSimControl> Control;
    std::vector<SeenEvent> Events;

  private:
    void Record(SeenEvent::Kind K, TVexoItemList *L) {
        SeenEvent E{K, {}};
        for (int i = 0; i < L->Count(); ++i) {
            E.Items.push_back(L->GetItem(i));
            E.Values.push_back(L->GetItem(i)->Snapshot());
        }
        Events.push_back(std::move(E));
    }
};

/// A time stamp a few seconds ago, as servers send them.
inline FILETIME RecentFileTime(int SecondsAgo = 4) {
    FILETIME Ft;
    platform::GetSystemTimeAsFileTime(&Ft);
    ULONGLONG V = (ULONGLONG(Ft.dwHighDateTime) << 32) | Ft.dwLowDateTime;
    V -= ULONGLONG(SecondsAgo) * 10000000ULL;
    return FILETIME{static_cast<DWORD>(V), static_cast<DWORD>(V >> 32)};
}

/// Builds DA 1.0 stream blocks: group header, item headers, then each value
/// (VARIANT and its trailing data) at the offset its header names. Values
/// are laid out as a server of layout L holds them (this process's layout
/// unless given), each starting at a multiple of Align.
class StreamBuilder {
  public:
    using Layout = opc::StreamLayout;
    explicit StreamBuilder(bool WithTime, std::size_t Align = 8)
        : FWithTime(WithTime), FAlign(Align) {}

    struct Entry {
        OPCHANDLE Client;
        WORD Quality;
        FILETIME Time;
        std::vector<BYTE> Value;
    };
    void Add(OPCHANDLE Client, WORD Quality, std::vector<BYTE> Value, FILETIME Time = {}) {
        FEntries.push_back({Client, Quality, Time, std::move(Value)});
    }

    static std::vector<BYTE> Scalar(VARTYPE Vt, const void *Data, std::size_t Size,
                                    const Layout &L = opc::NativeStreamLayout) {
        std::vector<BYTE> Out(L.Variant, 0);
        std::memcpy(Out.data(), &Vt, sizeof Vt);
        std::memcpy(Out.data() + Layout::ValueAt, Data, Size);
        return Out;
    }
    static std::vector<BYTE> I4(LONG X, const Layout &L = opc::NativeStreamLayout) {
        return Scalar(VT_I4, &X, sizeof X, L);
    }
    static std::vector<BYTE> R8(double X, const Layout &L = opc::NativeStreamLayout) {
        return Scalar(VT_R8, &X, sizeof X, L);
    }
    /// A DECIMAL fills the first 16 bytes of the VARIANT, its type included.
    static std::vector<BYTE> Decimal(DECIMAL X, const Layout &L = opc::NativeStreamLayout) {
        std::vector<BYTE> Out(L.Variant, 0);
        std::memcpy(Out.data(), &X, sizeof X);
        const VARTYPE Vt = VT_DECIMAL;
        std::memcpy(Out.data(), &Vt, sizeof Vt);
        return Out;
    }
    /// A string; the VARIANT's own pointer is garbage that must not be followed.
    static std::vector<BYTE> Str(const vexo::platform::WideString &S,
                                 const Layout &L = opc::NativeStreamLayout) {
        std::vector<BYTE> Out = Head(VT_BSTR, 0xDEADBEEF, L);
        AppendString(Out, S);
        return Out;
    }
    static std::vector<BYTE> I4Array(const std::vector<LONG> &Xs, LONG LBound = 0,
                                     const Layout &L = opc::NativeStreamLayout) {
        std::vector<BYTE> Out = ArrayHead(VT_I4, sizeof(LONG), Xs.size(), LBound, L);
        Append(Out, Xs.data(), Xs.size() * sizeof(LONG));
        return Out;
    }
    static std::vector<BYTE> StrArray(const std::vector<vexo::platform::WideString> &Xs,
                                      const Layout &L = opc::NativeStreamLayout) {
        std::vector<BYTE> Out = ArrayHead(VT_BSTR, L.Pointer(), Xs.size(), 0, L);
        for (const auto &S : Xs)
            AppendString(Out, S);
        return Out;
    }
    /// An array of variants from values built for the same layout.
    static std::vector<BYTE> VarArray(const std::vector<std::vector<BYTE>> &Xs,
                                      const Layout &L = opc::NativeStreamLayout) {
        std::vector<BYTE> Out = ArrayHead(VT_VARIANT, L.Variant, Xs.size(), 0, L);
        for (const auto &X : Xs)
            Append(Out, X.data(), X.size());
        return Out;
    }

    /// The block; Patch may change bytes before it is returned.
    std::vector<BYTE> Build(DWORD TransactionID = 0, HRESULT Status = S_OK) const {
        const std::size_t HeaderSize = FWithTime ? sizeof(OPCITEMHEADER1) : sizeof(OPCITEMHEADER2);
        std::size_t Offset = sizeof(OPCGROUPHEADER) + FEntries.size() * HeaderSize;
        Offset = (Offset + FAlign - 1) / FAlign * FAlign;
        std::vector<BYTE> Out(Offset, 0);
        for (std::size_t i = 0; i < FEntries.size(); ++i) {
            const Entry &E = FEntries[i];
            BYTE *H = Out.data() + sizeof(OPCGROUPHEADER) + i * HeaderSize;
            const DWORD ValueOffset = static_cast<DWORD>(Out.size());
            if (FWithTime) {
                OPCITEMHEADER1 H1{E.Client, ValueOffset, E.Quality, 0, E.Time};
                std::memcpy(H, &H1, sizeof H1);
            } else {
                OPCITEMHEADER2 H2{E.Client, ValueOffset, E.Quality, 0};
                std::memcpy(H, &H2, sizeof H2);
            }
            Append(Out, E.Value.data(), E.Value.size());
            Out.resize((Out.size() + FAlign - 1) / FAlign * FAlign, 0);
        }
        OPCGROUPHEADER G{static_cast<DWORD>(Out.size()), static_cast<DWORD>(FEntries.size()), 0,
                         TransactionID, Status};
        std::memcpy(Out.data(), &G, sizeof G);
        return Out;
    }

    /// The block in global memory, as a sink receives it. Caller frees it.
    static HGLOBAL ToGlobal(const std::vector<BYTE> &Block) {
        HGLOBAL H = platform::GlobalAlloc(GMEM_MOVEABLE, Block.size());
        std::memcpy(platform::GlobalLock(H), Block.data(), Block.size());
        platform::GlobalUnlock(H);
        return H;
    }

  private:
    static std::vector<BYTE> Bytes(const void *P, std::size_t N) {
        const auto *B = static_cast<const BYTE *>(P);
        return std::vector<BYTE>(B, B + N);
    }
    static void Append(std::vector<BYTE> &Out, const void *P, std::size_t N) {
        const auto *B = static_cast<const BYTE *>(P);
        Out.insert(Out.end(), B, B + N);
    }
    static void AppendString(std::vector<BYTE> &Out, const vexo::platform::WideString &S) {
        const DWORD Count = static_cast<DWORD>(S.size() * 2);
        Append(Out, &Count, sizeof Count);
        Append(Out, S.data(), Count);
        Out.push_back(0);
        Out.push_back(0);
    }
    /// A VARIANT of type Vt whose pointer holds Garbage.
    static std::vector<BYTE> Head(VARTYPE Vt, std::uint32_t Garbage, const Layout &L) {
        std::vector<BYTE> Out(L.Variant, 0);
        std::memcpy(Out.data(), &Vt, sizeof Vt);
        std::memcpy(Out.data() + Layout::ValueAt, &Garbage, sizeof Garbage);
        return Out;
    }
    static std::vector<BYTE> ArrayHead(VARTYPE Vt, ULONG ElemSize, std::size_t Count, LONG LBound,
                                       const Layout &L) {
        std::vector<BYTE> Out = Head(VT_ARRAY | Vt, 0xBAD, L);
        std::vector<BYTE> D(L.Descriptor, 0);
        const USHORT Dims = 1;
        const std::uint32_t Garbage = 0xBAD; // pvData
        const SAFEARRAYBOUND Bound{static_cast<ULONG>(Count), LBound};
        std::memcpy(D.data(), &Dims, sizeof Dims);
        std::memcpy(D.data() + Layout::ElemSizeAt, &ElemSize, sizeof ElemSize);
        std::memcpy(D.data() + L.CountAt() - L.Pointer(), &Garbage, sizeof Garbage);
        std::memcpy(D.data() + L.CountAt(), &Bound, sizeof Bound);
        Append(Out, D.data(), D.size());
        return Out;
    }

    bool FWithTime;
    std::size_t FAlign;
    std::vector<Entry> FEntries;
};

} // namespace vexo::test
