//===- DataStream.h - the DA 1.0 data and write-complete streams ----------===//
//
// This file declares the builders of the global-memory blocks that the DA 1.0
// IDataObject advise delivers. Layout (offsets from the start of the block,
// every VARIANT 8-byte aligned from the start):
//
//   OPCGROUPHEADER        20 bytes; dwSize = total bytes of the block,
//                         hrStatus = S_OK when every item is good, else S_FALSE
//   item headers          dwItemCount x OPCITEMHEADER1 (20 bytes, with time stamp,
//                         "OPCSTMFORMATDATATIME") or OPCITEMHEADER2 (12 bytes,
//                         "OPCSTMFORMATDATA"), in item order
//   padding to 8
//   per item, at its dwValueOffset:
//     VARIANT             sizeof(VARIANT) bytes, copied; any pointer in it is 0
//     VT_BSTR             DWORD byte count (terminator not counted), the UTF-16
//                         characters, a 2-byte zero
//     VT_ARRAY|x          the SAFEARRAY descriptor with one bound (pvData 0,
//                         cLocks 0), then cElements * cbElements bytes of elements
//     VT_ARRAY|VT_BSTR    the descriptor, then per element: DWORD byte count, the
//                         characters, a 2-byte zero (no padding between elements)
//     padding to 8
//
// "OPCSTMFORMATWRITECOMPLETE": OPCGROUPHEADERWRITE (16 bytes) followed by
// dwItemCount x OPCITEMHEADERWRITE (8 bytes); no values.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/OPCDA.h>
#include <vexo/platform/GlobalMemory.h>

#include "Delivery.h"

namespace vexo::sim {

/// A data stream of the batch; nullptr when out of memory. Caller frees it.
HGLOBAL BuildDataStream(bool withTime, OPCHANDLE clientGroup, DWORD transactionId,
                        const ItemBatch &batch);
/// A write-complete stream of the batch's handles and errors. Caller frees it.
HGLOBAL BuildWriteCompleteStream(OPCHANDLE clientGroup, DWORD transactionId,
                                 const ItemBatch &batch);

} // namespace vexo::sim
