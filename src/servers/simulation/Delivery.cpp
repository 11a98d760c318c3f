//===- Delivery.cpp - making the callbacks of a scan ----------------------===//
//
// Each call runs with no server lock held and inside the group's gate. A
// sink's answer is ignored and nothing it throws can leave the server.
//
//===----------------------------------------------------------------------===//
#include "Delivery.h"

#include <vexo/platform/GlobalMemory.h>
#include <vexo/platform/Variant.h>

#include "DataStream.h"
#include "ServerCore.h"

namespace vexo::sim {

ItemBatch::~ItemBatch() {
    for (auto &v : values)
        platform::VariantClear(&v);
}

void ItemBatch::Reserve(std::size_t n) {
    clients.reserve(n);
    values.reserve(n);
    qualities.reserve(n);
    stamps.reserve(n);
    errors.reserve(n);
}

void ItemBatch::Add(OPCHANDLE client, const VARIANT *value, WORD quality, FILETIME stamp,
                    HRESULT error) {
    clients.push_back(client);
    VARIANT &v = values.emplace_back();
    platform::VariantInit(&v);
    if (value)
        platform::VariantCopy(&v, value);
    qualities.push_back(quality);
    stamps.push_back(stamp);
    errors.push_back(error);
}

void ItemBatch::Override(std::size_t i, HRESULT code) {
    if (i >= Size() || code == S_OK)
        return;
    errors[i] = code;
    if (FAILED(code)) {
        platform::VariantClear(&values[i]);
        qualities[i] = OPC_QUALITY_BAD;
    }
}

HRESULT ItemBatch::MasterQuality() const {
    for (WORD q : qualities)
        if ((q & OPC_QUALITY_MASK) != OPC_QUALITY_GOOD)
            return S_FALSE;
    return S_OK;
}

HRESULT ItemBatch::MasterError() const {
    for (HRESULT e : errors)
        if (e != S_OK)
            return S_FALSE;
    return S_OK;
}

namespace {

void SendStream(const StreamAdvise &a, const Delivery &d, bool writeComplete) {
    const auto &formats = StreamFormats::Get();
    HGLOBAL h = writeComplete ? BuildWriteCompleteStream(d.clientGroup, d.transactionId, d.batch)
                              : BuildDataStream(a.format == formats.dataTime, d.clientGroup,
                                                d.transactionId, d.batch, *d.streamLayout);
    if (!h)
        return;
    FORMATETC fe{a.format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = h;
    medium.pUnkForRelease = nullptr;
    a.sink->OnDataChange(&fe, &medium);
    platform::GlobalFree(h); // the medium stays the sender's
}

void Call(Delivery &d) {
    ItemBatch &b = d.batch;
    const auto n = static_cast<DWORD>(b.Size());
    switch (d.kind) {
    case Delivery::DataChange:
    case Delivery::ReadComplete:
        if (d.callback) {
            if (d.kind == Delivery::DataChange)
                d.callback->OnDataChange(d.transactionId, d.clientGroup, b.MasterQuality(),
                                         b.MasterError(), n, b.clients.data(), b.values.data(),
                                         b.qualities.data(), b.stamps.data(), b.errors.data());
            else
                d.callback->OnReadComplete(d.transactionId, d.clientGroup, b.MasterQuality(),
                                           b.MasterError(), n, b.clients.data(), b.values.data(),
                                           b.qualities.data(), b.stamps.data(), b.errors.data());
        }
        for (const auto &a : d.streams)
            SendStream(a, d, false);
        break;
    case Delivery::WriteComplete:
        if (d.callback)
            d.callback->OnWriteComplete(d.transactionId, d.clientGroup, b.MasterError(), n,
                                        b.clients.data(), b.errors.data());
        break;
    case Delivery::CancelComplete:
        if (d.callback)
            d.callback->OnCancelComplete(d.transactionId, d.clientGroup);
        break;
    case Delivery::Stream:
        for (const auto &a : d.streams)
            SendStream(a, d, false);
        break;
    case Delivery::WriteStream:
        for (const auto &a : d.streams)
            SendStream(a, d, true);
        break;
    case Delivery::Shutdown:
        for (const auto &s : d.shutdownSinks)
            s->ShutdownRequest(d.reason.c_str());
        break;
    }
}

} // namespace

void Deliver(Delivery &d) {
    if (d.group && !d.group->EnterCallback())
        return;
    try {
        Call(d);
    } catch (...) {
        // A sink's failure is the client's business; the server goes on.
    }
    if (d.group)
        d.group->LeaveCallback();
}

} // namespace vexo::sim
