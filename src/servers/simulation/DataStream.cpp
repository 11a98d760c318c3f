//===- DataStream.cpp - the DA 1.0 data and write-complete streams --------===//
//
// One writer does both passes: the first, without memory, only sizes every
// value with its extra data; the second writes headers and values into
// memory zeroed first, so padding and the pointers left out are zero.
//
//===----------------------------------------------------------------------===//
#include "DataStream.h"

#include <cstring>

#include <vexo/platform/Variant.h>

namespace vexo::sim {
namespace {

using opc::StreamLayout;

constexpr std::size_t Align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

/// Writes at a position of the block, or only counts when it has no block.
class Writer {
  public:
    Writer(BYTE *base, const StreamLayout &layout) : base_(base), layout_(layout) {}
    const StreamLayout &Layout() const { return layout_; }
    std::size_t pos = 0;

    void Put(std::size_t at, const void *p, std::size_t n) {
        if (base_ && n)
            std::memcpy(base_ + at, p, n);
    }
    void Append(const void *p, std::size_t n) {
        Put(pos, p, n);
        pos += n;
    }
    /// A string: its byte count, the characters, a 2-byte zero.
    void String(BSTR s) {
        const DWORD bytes = platform::SysStringLen(s) * 2;
        Append(&bytes, 4);
        Append(s, bytes);
        pos += 2;
    }

  private:
    BYTE *base_;
    const StreamLayout &layout_;
};

void PutArray(Writer &w, std::size_t start, VARTYPE vt, const SAFEARRAY &psa);

/// Bytes of one element of an array of vt as a server of the layout holds it.
ULONG ElementSize(const StreamLayout &layout, VARTYPE vt, const SAFEARRAY &psa) {
    switch (vt) {
    case VT_BSTR:
        return layout.Pointer();
    case VT_VARIANT:
        return layout.Variant;
    default:
        return psa.cbElements;
    }
}

/// A VARIANT and its extra data; pointers stay zero. An array where none
/// may be (inside an array of variants) goes as an empty value.
void PutValue(Writer &w, const VARIANT &v, bool allowArray) {
    const StreamLayout &layout = w.Layout();
    const std::size_t start = w.pos;
    w.pos = start + layout.Variant;
    if (v.vt & VT_ARRAY) {
        if (allowArray && v.parray)
            PutArray(w, start, v.vt, *v.parray);
        return; // else VT_EMPTY: the memory is zero
    }
    if (v.vt == VT_DECIMAL) {
        w.Put(start, &v.decVal, sizeof(DECIMAL)); // its first word is the type
        return;
    }
    w.Put(start, &v.vt, sizeof(VARTYPE));
    if (v.vt == VT_BSTR)
        w.String(v.bstrVal);
    else
        w.Put(start + StreamLayout::ValueAt, &v.llVal, 8);
}

/// The rest of an array's value after its VARIANT at start: the descriptor
/// with one bound, then the elements.
void PutArray(Writer &w, std::size_t start, VARTYPE vt, const SAFEARRAY &psa) {
    const StreamLayout &layout = w.Layout();
    const VARTYPE elemVt = vt & VT_TYPEMASK;
    const USHORT dims = 1;
    const ULONG elemSize = ElementSize(layout, elemVt, psa);
    const ULONG count = psa.rgsabound[0].cElements;
    const std::size_t desc = start + layout.Variant;
    w.Put(start, &vt, sizeof vt);
    w.Put(desc, &dims, sizeof dims);
    w.Put(desc + StreamLayout::FeaturesAt, &psa.fFeatures, sizeof psa.fFeatures);
    w.Put(desc + StreamLayout::ElemSizeAt, &elemSize, sizeof elemSize);
    w.Put(desc + layout.CountAt(), &psa.rgsabound[0], sizeof(SAFEARRAYBOUND));
    w.pos = desc + layout.Descriptor;
    if (elemVt == VT_BSTR) {
        const auto *strings = static_cast<const BSTR *>(psa.pvData);
        for (ULONG i = 0; i < count; ++i)
            w.String(strings[i]);
    } else if (elemVt == VT_VARIANT) {
        const auto *values = static_cast<const VARIANT *>(psa.pvData);
        for (ULONG i = 0; i < count; ++i)
            PutValue(w, values[i], false);
    } else {
        w.Append(psa.pvData, std::size_t(count) * psa.cbElements);
    }
}

/// Headers and values of a data stream; returns the size of the block.
std::size_t PutDataStream(Writer &w, bool withTime, OPCHANDLE clientGroup, DWORD transactionId,
                          const ItemBatch &batch) {
    const std::size_t n = batch.Size();
    const std::size_t headerSize = withTime ? sizeof(OPCITEMHEADER1) : sizeof(OPCITEMHEADER2);
    w.pos = Align8(sizeof(OPCGROUPHEADER) + n * headerSize);
    for (std::size_t i = 0; i < n; ++i) {
        const auto offset = static_cast<DWORD>(w.pos);
        const std::size_t at = sizeof(OPCGROUPHEADER) + i * headerSize;
        if (withTime) {
            OPCITEMHEADER1 h1{};
            h1.hClient = batch.clients[i];
            h1.dwValueOffset = offset;
            h1.wQuality = batch.qualities[i];
            h1.ftTimeStampItem = batch.stamps[i];
            w.Put(at, &h1, sizeof h1);
        } else {
            OPCITEMHEADER2 h2{};
            h2.hClient = batch.clients[i];
            h2.dwValueOffset = offset;
            h2.wQuality = batch.qualities[i];
            w.Put(at, &h2, sizeof h2);
        }
        PutValue(w, batch.values[i], true);
        w.pos = Align8(w.pos);
    }
    OPCGROUPHEADER group{};
    group.dwSize = static_cast<DWORD>(w.pos);
    group.dwItemCount = static_cast<DWORD>(n);
    group.hClientGroup = clientGroup;
    group.dwTransactionID = transactionId;
    group.hrStatus = batch.MasterQuality() == S_OK && batch.MasterError() == S_OK ? S_OK : S_FALSE;
    w.Put(0, &group, sizeof group);
    return w.pos;
}

} // namespace

HGLOBAL BuildDataStream(bool withTime, OPCHANDLE clientGroup, DWORD transactionId,
                        const ItemBatch &batch, const opc::StreamLayout &layout) {
    Writer counter(nullptr, layout);
    const std::size_t size = PutDataStream(counter, withTime, clientGroup, transactionId, batch);
    HGLOBAL h = platform::GlobalAlloc(GHND, size);
    if (!h)
        return nullptr;
    Writer writer(static_cast<BYTE *>(platform::GlobalLock(h)), layout);
    PutDataStream(writer, withTime, clientGroup, transactionId, batch);
    platform::GlobalUnlock(h);
    return h;
}

HGLOBAL BuildWriteCompleteStream(OPCHANDLE clientGroup, DWORD transactionId,
                                 const ItemBatch &batch) {
    const std::size_t n = batch.Size();
    const std::size_t size = sizeof(OPCGROUPHEADERWRITE) + n * sizeof(OPCITEMHEADERWRITE);
    HGLOBAL h = platform::GlobalAlloc(GHND, size);
    if (!h)
        return nullptr;
    auto *base = static_cast<BYTE *>(platform::GlobalLock(h));
    OPCGROUPHEADERWRITE group{};
    group.dwItemCount = static_cast<DWORD>(n);
    group.hClientGroup = clientGroup;
    group.dwTransactionID = transactionId;
    group.hrStatus = batch.MasterError();
    std::memcpy(base, &group, sizeof group);
    for (std::size_t i = 0; i < n; ++i) {
        OPCITEMHEADERWRITE w{};
        w.hClient = batch.clients[i];
        w.dwError = batch.errors[i];
        std::memcpy(base + sizeof group + i * sizeof w, &w, sizeof w);
    }
    platform::GlobalUnlock(h);
    return h;
}

} // namespace vexo::sim
