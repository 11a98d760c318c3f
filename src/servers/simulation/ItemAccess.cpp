//===- ItemAccess.cpp - reading, writing and change tests of one item -----===//
#include "ItemAccess.h"

#include <cmath>

namespace vexo::sim {

void ReadItem(ServerCore &core, const GroupState &g, Item &item, bool device,
              std::uint64_t nowMs, ItemBatch &out) {
    Tag &tag = *item.tag;
    const FILETIME now = ServerCore::ToFileTime(nowMs);
    if (!(tag.rights & OPC_READABLE)) {
        out.Add(item.hClient, nullptr, kWriteOnlyQuality, now, OPC_E_BADRIGHTS);
        return;
    }
    if (device) {
        tag.Evaluate(nowMs, now, core.forceChange, core.NextRandom());
        tag.stamp = now; // the value was acquired now, changed or not
    }
    if (!tag.acquired) {
        out.Add(item.hClient, nullptr, kNotYetAcquired, tag.stamp, S_OK);
        return;
    }
    WORD quality = tag.quality;
    if (!device && !(item.active && g.active))
        quality = OPC_QUALITY_OUT_OF_SERVICE;
    if (item.requested == VT_EMPTY || item.requested == tag.vt) {
        out.Add(item.hClient, &tag.value.Get(), quality, tag.stamp, S_OK);
        return;
    }
    SimVar converted;
    const HRESULT hr = ConvertValue(converted.Get(), tag.value.Get(), item.requested);
    if (FAILED(hr))
        out.Add(item.hClient, nullptr, OPC_QUALITY_BAD, tag.stamp, hr);
    else
        out.Add(item.hClient, &converted.Get(), quality, tag.stamp, S_OK);
}

HRESULT WriteItem(ServerCore &, Item &item, const VARIANT &v, std::uint64_t nowMs) {
    Tag &tag = *item.tag;
    if (!(tag.rights & OPC_WRITEABLE))
        return OPC_E_BADRIGHTS;
    SimVar stored;
    const HRESULT hr = tag.PrepareWrite(v, stored);
    if (FAILED(hr))
        return hr;
    tag.Store(std::move(stored), OPC_QUALITY_GOOD, ServerCore::ToFileTime(nowMs));
    return hr;
}

bool HasChanged(const GroupState &g, const Item &item) {
    if (!item.sent)
        return true;
    const Tag &tag = *item.tag;
    if (!(tag.rights & OPC_READABLE))
        return false; // told once that there is nothing to read
    if (item.sentVersion == tag.version)
        return false;
    if (item.sentQuality != tag.quality)
        return true;
    if (g.deadband > 0 && tag.IsAnalog()) {
        double x = 0;
        if (ValueAsDouble(tag.value.Get(), x)) {
            const double band = g.deadband / 100.0 * (tag.euHigh - tag.euLow);
            return std::fabs(x - item.sentNumber) > band;
        }
    }
    return true;
}

void MarkSent(Item &item) {
    item.sent = true;
    item.sentVersion = item.tag->version;
    item.sentQuality = item.tag->quality;
    double x = 0;
    if (ValueAsDouble(item.tag->value.Get(), x))
        item.sentNumber = x;
}

} // namespace vexo::sim
