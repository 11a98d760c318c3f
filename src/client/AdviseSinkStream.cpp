//===- AdviseSinkStream.cpp - reading one DA 1.0 data stream block -------===//
//
// A DA 1.0 data stream is one block: the group header, one item header per
// item, and each item's value as a VARIANT at the offset its header gives.
// Numbers, Booleans, dates and currency sit inside the VARIANT. A string
// follows its VARIANT as a 32-bit byte count, the UTF-16 characters and a
// 2-byte zero. An array follows its VARIANT as a one-dimensional SAFEARRAY
// descriptor and then its elements: in place for numbers, one string after
// the other (count, characters, zero) for strings, and one value after the
// other (VARIANT plus its string) for variants. VARIANTs and descriptors
// come as the server holds them in its own memory: 16 and 24 bytes from a
// 32-bit server, 24 and 32 from a 64-bit one (vexo/StreamLayout.h). The
// reader finds out which from the block itself and reads either into the
// same values.
//
// A write-complete block is a group header (count, group, transaction id,
// status) and one (handle, result code) record per item.
//
// The reader trusts nothing in the block: every offset and length is checked
// against the block's size, no pointer stored in the block is ever followed,
// and anything it cannot read makes the whole block malformed.
//
//===----------------------------------------------------------------------===//

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <vexo/StreamLayout.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/platform/Variant.h>
#include <vexo/platform/WideString.h>

namespace vexo {

namespace {

using opc::NativeStreamLayout;
using opc::StreamLayout;
using opc::StreamLayout32;
using opc::StreamLayout64;
using platform::VariantClear;
using platform::VariantInit;

/// Bounds-checked copies out of the block, with a budget for what the copies
/// allocate: values may share their bytes (every header may name the same
/// offset), so without one a small block could ask for memory quadratic in
/// its size. A well-formed block never needs more than its own size.
class BlockReader {
  public:
    BlockReader(const BYTE *Block, SIZE_T Size)
        : FBlock(Block), FSize(Size), FBudget(2 * std::uint64_t(Size) + 4096) {}

    /// Takes Bytes from the allocation budget; false when it is spent.
    bool Spend(std::uint64_t Bytes) const {
        if (Bytes > FBudget)
            return false;
        FBudget -= Bytes;
        return true;
    }

    bool Fits(std::uint64_t Pos, std::uint64_t Len) const {
        return Pos <= FSize && Len <= FSize - Pos;
    }
    bool Read(std::uint64_t Pos, void *Out, std::uint64_t Len) const {
        if (!Fits(Pos, Len))
            return false;
        std::memcpy(Out, FBlock + Pos, static_cast<std::size_t>(Len));
        return true;
    }
    std::uint64_t Remaining(std::uint64_t Pos) const { return Pos <= FSize ? FSize - Pos : 0; }

  private:
    const BYTE *FBlock;
    SIZE_T FSize;
    mutable std::uint64_t FBudget;
};

/// Size of an element kept in place, 0 for a type that is not.
std::uint32_t InPlaceSize(VARTYPE Vt) {
    switch (Vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        return 8;
    default:
        return 0;
    }
}

// The readers below copy a value into an empty Out, or, given no Out, only
// check it and step over it (allocating nothing). Either way they advance Pos
// past the value and fail on anything the reader cannot hold.

/// A string at Pos: count, characters, zero.
bool ReadString(const BlockReader &R, std::uint64_t &Pos, BSTR *Out) {
    DWORD Bytes = 0;
    if (!R.Read(Pos, &Bytes, sizeof Bytes) || Bytes % 2 != 0)
        return false;
    const std::uint64_t Chars = Pos + sizeof Bytes;
    if (!R.Fits(Chars, std::uint64_t(Bytes) + 2))
        return false;
    if (Out) {
        if (!R.Spend(std::uint64_t(Bytes) + 2))
            return false;
        platform::WideString Text(Bytes / 2, WCHAR('\0'));
        R.Read(Chars, Text.data(), Bytes);
        *Out = platform::SysAllocStringLen(Text.data(), static_cast<UINT>(Text.size()));
        if (!*Out)
            return false;
    }
    Pos = Chars + Bytes + 2;
    return true;
}

bool ReadValue(const BlockReader &R, const StreamLayout &L, std::uint64_t &Pos, VARIANT *Out,
               bool AllowArray);

/// The elements of an array of ElemVt at Pos (past its descriptor).
bool ReadElements(const BlockReader &R, const StreamLayout &L, std::uint64_t &Pos, VARTYPE ElemVt,
                  ULONG Count, void *Data) {
    if (const std::uint32_t Elem = InPlaceSize(ElemVt)) {
        const std::uint64_t Bytes = std::uint64_t(Count) * Elem;
        if (Data ? !R.Read(Pos, Data, Bytes) : !R.Fits(Pos, Bytes))
            return false;
        Pos += Bytes;
        return true;
    }
    auto *Strings = static_cast<BSTR *>(Data);
    auto *Values = static_cast<VARIANT *>(Data);
    for (ULONG i = 0; i < Count; ++i) {
        const bool Ok = ElemVt == VT_BSTR
                            ? ReadString(R, Pos, Data ? &Strings[i] : nullptr)
                            : ReadValue(R, L, Pos, Data ? &Values[i] : nullptr, false);
        if (!Ok)
            return false;
    }
    return true;
}

/// The descriptor and elements of an array of ElemVt at Pos.
bool ReadArray(const BlockReader &R, const StreamLayout &L, std::uint64_t &Pos, VARTYPE ElemVt,
               SAFEARRAY **Out) {
    USHORT Dims = 0;
    ULONG ElemSize = 0;
    SAFEARRAYBOUND Bound{};
    if (!R.Fits(Pos, L.Descriptor))
        return false;
    R.Read(Pos, &Dims, sizeof Dims);
    R.Read(Pos + StreamLayout::ElemSizeAt, &ElemSize, sizeof ElemSize);
    R.Read(Pos + L.CountAt(), &Bound, sizeof Bound);
    if (Dims != 1)
        return false;
    Pos += L.Descriptor;
    const ULONG Count = Bound.cElements;
    const std::uint32_t Elem = InPlaceSize(ElemVt);
    // The least room each element takes in the block: refuses counts the
    // block cannot hold before anything is allocated.
    std::uint64_t MinElem;
    if (Elem != 0) {
        if (ElemSize != Elem)
            return false;
        MinElem = Elem;
    } else if (ElemVt == VT_BSTR) {
        MinElem = sizeof(DWORD) + 2;
    } else if (ElemVt == VT_VARIANT) {
        MinElem = L.Variant;
    } else {
        return false;
    }
    if (std::uint64_t(Count) > R.Remaining(Pos) / MinElem)
        return false;
    if (!Out)
        return ReadElements(R, L, Pos, ElemVt, Count, nullptr);
    // The array holds native elements whatever the layout of the block.
    const std::uint64_t Native = Elem != 0           ? Elem
                                 : ElemVt == VT_BSTR ? sizeof(BSTR)
                                                     : sizeof(VARIANT);
    if (!R.Spend(std::uint64_t(Count) * Native))
        return false;
    SAFEARRAY *Array = platform::SafeArrayCreateVector(ElemVt, Bound.lLbound, Count);
    if (!Array)
        return false;
    void *Data = nullptr;
    if (FAILED(platform::SafeArrayAccessData(Array, &Data))) {
        platform::SafeArrayDestroy(Array);
        return false;
    }
    const bool Ok = ReadElements(R, L, Pos, ElemVt, Count, Data);
    platform::SafeArrayUnaccessData(Array);
    if (!Ok) {
        platform::SafeArrayDestroy(Array); // frees the strings read so far
        return false;
    }
    *Out = Array;
    return true;
}

/// One value (VARIANT and what follows it) at Pos, laid out as L says; Out,
/// when given, is empty before and stays empty on failure.
bool ReadValue(const BlockReader &R, const StreamLayout &L, std::uint64_t &Pos, VARIANT *Out,
               bool AllowArray) {
    // Every layout keeps a scalar in the first 16 bytes; a DECIMAL fills them.
    BYTE Raw[16];
    if (!R.Fits(Pos, L.Variant))
        return false;
    R.Read(Pos, Raw, sizeof Raw);
    Pos += L.Variant;
    VARTYPE Vt;
    std::memcpy(&Vt, Raw, sizeof Vt);
    if (Vt & VT_ARRAY) {
        const VARTYPE ElemVt = Vt & VT_TYPEMASK;
        if (!AllowArray || (Vt & ~(VT_ARRAY | VT_TYPEMASK)) != 0)
            return false;
        SAFEARRAY *Array = nullptr;
        if (!ReadArray(R, L, Pos, ElemVt, Out ? &Array : nullptr))
            return false;
        if (Out) {
            Out->vt = Vt;
            Out->parray = Array;
        }
        return true;
    }
    switch (Vt) {
    case VT_EMPTY:
    case VT_NULL:
        break;
    case VT_BSTR: {
        BSTR Text = nullptr;
        if (!ReadString(R, Pos, Out ? &Text : nullptr))
            return false;
        if (Out)
            Out->bstrVal = Text;
        break;
    }
    case VT_DECIMAL:
        if (Out)
            std::memcpy(&Out->decVal, Raw, sizeof(DECIMAL)); // its first word is the type tag
        break;
    default:
        if (InPlaceSize(Vt) == 0)
            return false; // references, interfaces and unknown types
        if (Out)
            std::memcpy(&Out->llVal, Raw + StreamLayout::ValueAt, sizeof Out->llVal);
        break;
    }
    if (Out)
        Out->vt = Vt;
    return true;
}

// --- Which layout the block was written in ---------------------------------------------
//
// Scalars read the same in both layouts, but take 16 or 24 bytes; string and
// array data starts after a 16- or a 24-byte VARIANT. A value is measured in
// each layout against its room (up to the next value's offset, the last one
// up to dwSize): it fits tightly when it reads inside the room and leaves
// less than 8 bytes of it unused (what aligning to 8 leaves), loosely when it
// leaves more. A wrong layout rarely reads tightly: a 64-bit reading of a
// 32-bit block overruns scalars and reads a string's characters as its
// count; a 32-bit reading of a 64-bit block leaves 8 bytes of every scalar
// unused and finds the VARIANT's zero tail as an empty string, leaving the
// real one unused. So the values are taken in the order of their offsets and
// the first that fits better in one layout (tightly over loosely over not at
// all; loosely, with less unused) decides, which in almost every block is
// its first value. Only a 32-bit block whose strings are all two characters
// long reads tightly both ways (the 64-bit reading takes the terminator and
// padding as an empty string): when no value decides, the block is read in
// the 32-bit layout.

struct Fit {
    int Rank;            ///< 2 tightly, 1 loosely, 0 not inside its room
    std::uint64_t Slack; ///< bytes of the room left unused
};

Fit MeasureValue(const BYTE *Block, std::uint64_t Pos, std::uint64_t RoomEnd,
                 const StreamLayout &L) {
    // A reader of the room alone: a value that overruns it fails at once, so
    // measuring every value costs no more than reading the block.
    const BlockReader Room(Block, static_cast<SIZE_T>(RoomEnd));
    if (!ReadValue(Room, L, Pos, nullptr, true))
        return Fit{0, 0};
    const std::uint64_t Slack = RoomEnd - Pos;
    return Fit{Slack < 8 ? 2 : 1, Slack};
}

/// The layouts to read the block's values in, the likelier first; returns
/// how many to try (two only for a block that fits neither).
int ChooseLayouts(const BYTE *Block, const BlockReader &R, const OPCGROUPHEADER &Group,
                  std::uint64_t HeaderSize, const StreamLayout *Out[2]) {
    // dwValueOffset is the second field of both item headers.
    auto OffsetAt = [&](DWORD i) {
        DWORD Offset = 0;
        R.Read(sizeof Group + std::uint64_t(i) * HeaderSize + 4, &Offset, sizeof Offset);
        return Offset;
    };
    const DWORD N = Group.dwItemCount;
    // Servers write the values in item order; other orders and shared
    // values are sorted out first.
    bool InOrder = true;
    for (DWORD i = 1, Prev = N ? OffsetAt(0) : 0; i < N && InOrder; ++i) {
        const DWORD Next = OffsetAt(i);
        InOrder = Next > Prev;
        Prev = Next;
    }
    std::vector<std::uint32_t> Sorted;
    if (!InOrder) {
        Sorted.reserve(N);
        for (DWORD i = 0; i < N; ++i)
            Sorted.push_back(OffsetAt(i));
        std::sort(Sorted.begin(), Sorted.end());
        Sorted.erase(std::unique(Sorted.begin(), Sorted.end()), Sorted.end());
    }
    const std::size_t Count = InOrder ? N : Sorted.size();
    auto Offset = [&](std::size_t k) -> std::uint64_t {
        return InOrder ? OffsetAt(static_cast<DWORD>(k)) : Sorted[k];
    };
    const std::uint64_t Size = R.Remaining(0);
    const std::uint64_t Last = Count ? Offset(Count - 1) : 0;
    const std::uint64_t End = Group.dwSize > Last && Group.dwSize <= Size ? Group.dwSize : Size;

    int Pick = 0; // 32 or 64 once a value decided
    bool NeitherFits = false;
    for (std::size_t k = 0; k < Count && !Pick; ++k) {
        // An offset past the block ends no room inside it.
        const std::uint64_t RoomEnd = k + 1 < Count ? std::min(Offset(k + 1), Size) : End;
        const Fit F32 = MeasureValue(Block, Offset(k), RoomEnd, StreamLayout32);
        const Fit F64 = MeasureValue(Block, Offset(k), RoomEnd, StreamLayout64);
        if (F32.Rank != F64.Rank)
            Pick = F32.Rank > F64.Rank ? 32 : 64;
        else if (F32.Rank == 1 && F32.Slack != F64.Slack)
            Pick = F32.Slack < F64.Slack ? 32 : 64;
        NeitherFits = NeitherFits || F32.Rank == 0;
    }
    if (!Pick)
        Pick = NeitherFits ? static_cast<int>(NativeStreamLayout.PointerBits) : 32;
    Out[0] = Pick == 32 ? &StreamLayout32 : &StreamLayout64;
    Out[1] = Pick == 32 ? &StreamLayout64 : &StreamLayout32;
    // A block with a value that fits neither layout is read in any layout
    // it can be read in.
    return NeitherFits ? 2 : 1;
}

/// Reads the group header that starts every block and copies what the
/// caller reports from it; false when the block is too short to hold it.
template <class GroupHeader>
bool ReadGroupHeader(const BlockReader &R, GroupHeader &Group,
                     TVexoAdviseSink::StreamHeader &Header) {
    if (!R.Read(0, &Group, sizeof Group))
        return false;
    Header.ItemCount = Group.dwItemCount;
    Header.TransactionID = Group.dwTransactionID;
    Header.Status = Group.hrStatus;
    Header.Read = true;
    return true;
}

/// Reads every item of a data stream into Entries, its values laid out as L
/// says; on failure Entries is left empty.
bool ReadItems(const BYTE *Block, SIZE_T Size, const StreamLayout &L, DWORD Count, bool WithTime,
               std::vector<TVexoAdviseSink::StreamEntry> &Entries) {
    const BlockReader R(Block, Size);
    const std::uint64_t HeaderSize = WithTime ? sizeof(OPCITEMHEADER1) : sizeof(OPCITEMHEADER2);
    Entries.reserve(Count);
    for (DWORD i = 0; i < Count; ++i) {
        const std::uint64_t At = sizeof(OPCGROUPHEADER) + std::uint64_t(i) * HeaderSize;
        TVexoAdviseSink::StreamEntry E{};
        VariantInit(&E.Value);
        std::uint64_t ValuePos;
        if (WithTime) {
            OPCITEMHEADER1 H{};
            R.Read(At, &H, sizeof H);
            E.hClient = H.hClient;
            E.Quality = H.wQuality;
            E.TimeStamp = H.ftTimeStampItem;
            ValuePos = H.dwValueOffset;
        } else {
            OPCITEMHEADER2 H{};
            R.Read(At, &H, sizeof H);
            E.hClient = H.hClient;
            E.Quality = H.wQuality;
            E.TimeStamp = FILETIME{0, 0};
            ValuePos = H.dwValueOffset;
        }
        if (!ReadValue(R, L, ValuePos, &E.Value, true)) {
            TVexoAdviseSink::ClearEntries(Entries);
            return false;
        }
        Entries.push_back(E);
    }
    return true;
}

} // namespace

void TVexoAdviseSink::ClearEntries(std::vector<StreamEntry> &Entries) {
    for (StreamEntry &E : Entries)
        VariantClear(&E.Value);
    Entries.clear();
}

bool TVexoAdviseSink::ParseStream(const BYTE *Block, SIZE_T Size, bool WithTime,
                                  StreamHeader &Header, std::vector<StreamEntry> &Entries) {
    ClearEntries(Entries);
    Header = StreamHeader{};
    if (!Block)
        return false;
    const BlockReader R(Block, Size);
    OPCGROUPHEADER Group{};
    if (!ReadGroupHeader(R, Group, Header))
        return false;
    if (FAILED(Group.hrStatus))
        return true; // a failed notification carries no values to read

    const std::uint64_t HeaderSize = WithTime ? sizeof(OPCITEMHEADER1) : sizeof(OPCITEMHEADER2);
    if (!R.Fits(sizeof Group, std::uint64_t(Group.dwItemCount) * HeaderSize))
        return false;
    const StreamLayout *Layouts[2] = {};
    const int Tries = ChooseLayouts(Block, R, Group, HeaderSize, Layouts);
    for (int t = 0; t < Tries; ++t)
        if (ReadItems(Block, Size, *Layouts[t], Group.dwItemCount, WithTime, Entries))
            return true;
    return false;
}

bool TVexoAdviseSink::ParseWriteStream(const BYTE *Block, SIZE_T Size, StreamHeader &Header,
                                       std::vector<WriteEntry> &Entries) {
    Entries.clear();
    Header = StreamHeader{};
    if (!Block)
        return false;
    const BlockReader R(Block, Size);
    OPCGROUPHEADERWRITE Group{};
    if (!ReadGroupHeader(R, Group, Header))
        return false;
    if (!R.Fits(sizeof Group, std::uint64_t(Group.dwItemCount) * sizeof(OPCITEMHEADERWRITE)))
        return false;
    Entries.reserve(Group.dwItemCount);
    for (DWORD i = 0; i < Group.dwItemCount; ++i) {
        OPCITEMHEADERWRITE H{};
        R.Read(sizeof Group + std::uint64_t(i) * sizeof H, &H, sizeof H);
        Entries.push_back({H.hClient, H.dwError});
    }
    return true;
}

} // namespace vexo
