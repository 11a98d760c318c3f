//===- DataStream.cpp - the DA 1.0 data and write-complete streams --------===//
//
// Two passes: the first sizes every value with its extra data, the second
// writes headers and values. Memory is zeroed first so padding is defined.
//
//===----------------------------------------------------------------------===//
#include "DataStream.h"

#include <cstring>

#include <vexo/platform/Variant.h>

namespace vexo::sim {
namespace {

constexpr std::size_t Align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

std::size_t StringBytes(BSTR s) { return 4 + std::size_t(platform::SysStringLen(s)) * 2 + 2; }

std::size_t ValueBytes(const VARIANT &v) {
    std::size_t n = sizeof(VARIANT);
    if (v.vt == VT_BSTR) {
        n += StringBytes(v.bstrVal);
    } else if ((v.vt & VT_ARRAY) && v.parray) {
        const SAFEARRAY *psa = v.parray;
        const ULONG count = psa->rgsabound[0].cElements;
        n += sizeof(SAFEARRAY);
        if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
            auto *strings = static_cast<BSTR *>(psa->pvData);
            for (ULONG i = 0; i < count; ++i)
                n += StringBytes(strings[i]);
        } else {
            n += std::size_t(count) * psa->cbElements;
        }
    }
    return Align8(n);
}

BYTE *PutString(BYTE *p, BSTR s) {
    const DWORD bytes = platform::SysStringLen(s) * 2;
    std::memcpy(p, &bytes, 4);
    if (bytes)
        std::memcpy(p + 4, s, bytes);
    return p + 4 + bytes + 2; // the terminator is already zero
}

void PutValue(BYTE *p, const VARIANT &v) {
    VARIANT copy = v;
    const bool array = (v.vt & VT_ARRAY) && v.parray;
    if (v.vt == VT_BSTR || (v.vt & VT_ARRAY))
        copy.byref = nullptr; // pointers mean nothing in the stream
    std::memcpy(p, &copy, sizeof(VARIANT));
    p += sizeof(VARIANT);
    if (v.vt == VT_BSTR) {
        PutString(p, v.bstrVal);
    } else if (array) {
        SAFEARRAY descriptor = *v.parray;
        descriptor.pvData = nullptr;
        descriptor.cLocks = 0;
        std::memcpy(p, &descriptor, sizeof(SAFEARRAY));
        p += sizeof(SAFEARRAY);
        const ULONG count = v.parray->rgsabound[0].cElements;
        if ((v.vt & VT_TYPEMASK) == VT_BSTR) {
            auto *strings = static_cast<BSTR *>(v.parray->pvData);
            for (ULONG i = 0; i < count; ++i)
                p = PutString(p, strings[i]);
        } else if (count) {
            std::memcpy(p, v.parray->pvData, std::size_t(count) * v.parray->cbElements);
        }
    }
}

} // namespace

HGLOBAL BuildDataStream(bool withTime, OPCHANDLE clientGroup, DWORD transactionId,
                        const ItemBatch &batch) {
    const std::size_t n = batch.Size();
    const std::size_t headerSize = withTime ? sizeof(OPCITEMHEADER1) : sizeof(OPCITEMHEADER2);
    std::size_t size = Align8(sizeof(OPCGROUPHEADER) + n * headerSize);
    std::vector<std::size_t> offsets(n);
    for (std::size_t i = 0; i < n; ++i) {
        offsets[i] = size;
        size += ValueBytes(batch.values[i]);
    }
    HGLOBAL h = platform::GlobalAlloc(GHND, size);
    if (!h)
        return nullptr;
    auto *base = static_cast<BYTE *>(platform::GlobalLock(h));
    OPCGROUPHEADER group{};
    group.dwSize = static_cast<DWORD>(size);
    group.dwItemCount = static_cast<DWORD>(n);
    group.hClientGroup = clientGroup;
    group.dwTransactionID = transactionId;
    group.hrStatus = batch.MasterQuality() == S_OK && batch.MasterError() == S_OK ? S_OK : S_FALSE;
    std::memcpy(base, &group, sizeof group);
    BYTE *header = base + sizeof(OPCGROUPHEADER);
    for (std::size_t i = 0; i < n; ++i, header += headerSize) {
        if (withTime) {
            OPCITEMHEADER1 h1{};
            h1.hClient = batch.clients[i];
            h1.dwValueOffset = static_cast<DWORD>(offsets[i]);
            h1.wQuality = batch.qualities[i];
            h1.ftTimeStampItem = batch.stamps[i];
            std::memcpy(header, &h1, sizeof h1);
        } else {
            OPCITEMHEADER2 h2{};
            h2.hClient = batch.clients[i];
            h2.dwValueOffset = static_cast<DWORD>(offsets[i]);
            h2.wQuality = batch.qualities[i];
            std::memcpy(header, &h2, sizeof h2);
        }
        PutValue(base + offsets[i], batch.values[i]);
    }
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
