//===- AdviseSinkStream.cpp - reading one DA 1.0 data stream block -------===//
//
// A DA 1.0 data stream is one block: the group header, one item header per
// item, and each item's value as a VARIANT at the offset its header gives.
// Numbers, Booleans, dates and currency sit inside the VARIANT. A string
// follows its VARIANT as a 32-bit byte count, the UTF-16 characters and a
// 2-byte zero. An array follows its VARIANT as a one-dimensional SAFEARRAY
// descriptor and then its elements: in place for numbers, one string after
// the other (count, characters, zero) for strings, and one value after the
// other (VARIANT plus its string) for variants.
//
// A write-complete block is a group header (count, group, transaction id,
// status) and one (handle, result code) record per item.
//
// The reader trusts nothing in the block: every offset and length is checked
// against the block's size, no pointer stored in the block is ever followed,
// and anything it cannot read makes the whole block malformed.
//
//===----------------------------------------------------------------------===//

#include <cstring>
#include <string>

#include <vexo/client/VexoSinks.h>
#include <vexo/platform/Variant.h>
#include <vexo/platform/WideString.h>

namespace vexo {

namespace {

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

/// Reads a string at Pos (count, characters, zero); advances Pos past it.
bool ReadString(const BlockReader &R, std::uint64_t &Pos, BSTR &Out) {
    DWORD Bytes = 0;
    if (!R.Read(Pos, &Bytes, sizeof Bytes) || Bytes % 2 != 0)
        return false;
    const std::uint64_t Chars = Pos + sizeof Bytes;
    if (!R.Fits(Chars, std::uint64_t(Bytes) + 2) || !R.Spend(std::uint64_t(Bytes) + 2))
        return false;
    platform::WideString Text(Bytes / 2, WCHAR('\0'));
    R.Read(Chars, Text.data(), Bytes);
    Out = platform::SysAllocStringLen(Text.data(), static_cast<UINT>(Text.size()));
    if (!Out)
        return false;
    Pos = Chars + Bytes + 2;
    return true;
}

bool ReadValue(const BlockReader &R, std::uint64_t &Pos, VARIANT &Out, bool AllowArray);

/// Reads the descriptor and elements of an array of ElemVt at Pos.
bool ReadArray(const BlockReader &R, std::uint64_t &Pos, VARTYPE ElemVt, SAFEARRAY *&Out) {
    SAFEARRAY Desc{};
    if (!R.Read(Pos, &Desc, sizeof Desc) || Desc.cDims != 1)
        return false;
    Pos += sizeof Desc;
    const ULONG Count = Desc.rgsabound[0].cElements;
    const std::uint32_t Elem = InPlaceSize(ElemVt);
    // The least room each element takes in the block: refuses counts the
    // block cannot hold before anything is allocated.
    std::uint64_t MinElem;
    if (Elem != 0) {
        if (Desc.cbElements != Elem)
            return false;
        MinElem = Elem;
    } else if (ElemVt == VT_BSTR) {
        MinElem = sizeof(DWORD) + 2;
    } else if (ElemVt == VT_VARIANT) {
        MinElem = sizeof(VARIANT);
    } else {
        return false;
    }
    if (std::uint64_t(Count) > R.Remaining(Pos) / MinElem ||
        !R.Spend(std::uint64_t(Count) * (Elem != 0 ? Elem : MinElem)))
        return false;

    SAFEARRAY *Array = platform::SafeArrayCreateVector(ElemVt, Desc.rgsabound[0].lLbound, Count);
    if (!Array)
        return false;
    void *Data = nullptr;
    if (FAILED(platform::SafeArrayAccessData(Array, &Data))) {
        platform::SafeArrayDestroy(Array);
        return false;
    }
    bool Ok = true;
    if (Elem != 0) {
        Ok = R.Read(Pos, Data, std::uint64_t(Count) * Elem);
        Pos += std::uint64_t(Count) * Elem;
    } else if (ElemVt == VT_BSTR) {
        auto *Strings = static_cast<BSTR *>(Data);
        for (ULONG i = 0; Ok && i < Count; ++i)
            Ok = ReadString(R, Pos, Strings[i]);
    } else {
        auto *Values = static_cast<VARIANT *>(Data);
        for (ULONG i = 0; Ok && i < Count; ++i)
            Ok = ReadValue(R, Pos, Values[i], false);
    }
    platform::SafeArrayUnaccessData(Array);
    if (!Ok) {
        platform::SafeArrayDestroy(Array); // frees the strings read so far
        return false;
    }
    Out = Array;
    return true;
}

/// Reads one value (VARIANT and what follows it) at Pos into Out (empty
/// before); advances Pos past it. Out stays empty on failure.
bool ReadValue(const BlockReader &R, std::uint64_t &Pos, VARIANT &Out, bool AllowArray) {
    VARIANT Raw;
    if (!R.Read(Pos, &Raw, sizeof Raw))
        return false;
    Pos += sizeof Raw;
    const VARTYPE Vt = Raw.vt;
    if (Vt & VT_ARRAY) {
        const VARTYPE ElemVt = Vt & VT_TYPEMASK;
        if (!AllowArray || (Vt & ~(VT_ARRAY | VT_TYPEMASK)) != 0)
            return false;
        SAFEARRAY *Array = nullptr;
        if (!ReadArray(R, Pos, ElemVt, Array))
            return false;
        Out.vt = Vt;
        Out.parray = Array;
        return true;
    }
    switch (Vt) {
    case VT_EMPTY:
    case VT_NULL:
        Out.vt = Vt;
        return true;
    case VT_BSTR: {
        BSTR Text = nullptr;
        if (!ReadString(R, Pos, Text))
            return false;
        Out.vt = VT_BSTR;
        Out.bstrVal = Text;
        return true;
    }
    case VT_DECIMAL:
        // The decimal fills the VARIANT; its first word is the type tag.
        Out.decVal = Raw.decVal;
        Out.vt = VT_DECIMAL;
        return true;
    default:
        if (InPlaceSize(Vt) == 0)
            return false; // references, interfaces and unknown types
        Out.vt = Vt;
        Out.llVal = Raw.llVal;
        return true;
    }
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
    Entries.reserve(Group.dwItemCount);
    for (DWORD i = 0; i < Group.dwItemCount; ++i) {
        const std::uint64_t At = sizeof Group + std::uint64_t(i) * HeaderSize;
        StreamEntry E{};
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
        if (!ReadValue(R, ValuePos, E.Value, true)) {
            ClearEntries(Entries);
            return false;
        }
        Entries.push_back(E);
    }
    return true;
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
