//===- ItemAccess.h - reading, writing and change tests of one item -------===//
//
// This file declares the item-level operations that the synchronous calls,
// the asynchronous jobs and the scan share, so that a value reaches the
// client the same way whichever road it takes. Callers hold the server lock.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

#include "Delivery.h"
#include "ServerCore.h"

namespace vexo::sim {

/// Quality of a value that a write-only item cannot deliver.
constexpr WORD kWriteOnlyQuality = OPC_QUALITY_BAD | OPC_QUALITY_NOT_CONNECTED;
/// Quality of a changing tag read from the cache before its first scan (an
/// empty value). Its major status is bad, which is all a DA 1.0 client keeps.
constexpr WORD kNotYetAcquired = OPC_QUALITY_WAITING_FOR_INITIAL_DATA;

/// Appends the item's value to out: from the device (evaluated and stamped now)
/// or from the cache (out of service when the item or group is inactive, an
/// empty value of quality kNotYetAcquired before the tag's first scan). Per-item error
/// OPC_E_BADRIGHTS for a write-only tag, the conversion's code when the value
/// cannot be given in the requested type.
void ReadItem(ServerCore &core, const GroupState &g, Item &item, bool device,
              std::uint64_t nowMs, ItemBatch &out);
/// Writes v to the item's tag: S_OK, OPC_S_CLAMP, OPC_E_BADRIGHTS, OPC_E_BADTYPE,
/// OPC_E_RANGE.
HRESULT WriteItem(ServerCore &core, Item &item, const VARIANT &v, std::uint64_t nowMs);
/// Whether the client must hear of the item (first update, change beyond the
/// group's dead band, quality change).
bool HasChanged(const GroupState &g, const Item &item);
/// Remembers what the client was told.
void MarkSent(Item &item);

} // namespace vexo::sim
