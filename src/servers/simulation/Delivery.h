//===- Delivery.h - callbacks built under the lock, made outside it -------===//
//
// This file defines ItemBatch (the parallel arrays one callback carries) and
// Delivery (one callback with the sinks it goes to, captured while the server
// lock was held). Deliver() makes the calls with no server lock held and
// through the group's gate, so a sink may call back into the server and a
// removed group never calls out again.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/StreamLayout.h>
#include <vexo/platform/ComPtr.h>
#include <vexo/platform/WideString.h>

#include "GroupState.h"

namespace vexo::sim {

/// Parallel arrays of one callback; owns the VARIANTs.
struct ItemBatch {
    std::vector<OPCHANDLE> clients;
    std::vector<VARIANT> values;
    std::vector<WORD> qualities;
    std::vector<FILETIME> stamps;
    std::vector<HRESULT> errors;

    ItemBatch() = default;
    ItemBatch(ItemBatch &&) = default;
    ItemBatch &operator=(ItemBatch &&) = default;
    ~ItemBatch();

    void Reserve(std::size_t n);
    std::size_t Size() const { return clients.size(); }
    /// Appends an entry; value copied (nullptr = VT_EMPTY).
    void Add(OPCHANDLE client, const VARIANT *value, WORD quality, FILETIME stamp, HRESULT error);
    /// Overrides entry i with a planned code: failures empty the value and the quality.
    void Override(std::size_t i, HRESULT code);
    /// S_OK when every quality is good, else S_FALSE.
    HRESULT MasterQuality() const;
    /// S_OK when every error is S_OK, else S_FALSE.
    HRESULT MasterError() const;
};

struct Delivery {
    enum Kind { DataChange, ReadComplete, WriteComplete, CancelComplete, Stream, WriteStream,
                Shutdown };
    Kind kind = DataChange;
    std::shared_ptr<GroupState> group; ///< null for Shutdown
    OPCHANDLE clientGroup = 0;
    DWORD transactionId = 0;
    ItemBatch batch;
    platform::ComPtr<IOPCDataCallback> callback;
    std::vector<StreamAdvise> streams;
    const opc::StreamLayout *streamLayout = &opc::NativeStreamLayout; ///< of data streams
    std::vector<platform::ComPtr<IOPCShutdown>> shutdownSinks;
    vexo::platform::WideString reason;
};

/// Makes the calls of d. Caller holds no server lock. Never throws.
void Deliver(Delivery &d);

} // namespace vexo::sim
