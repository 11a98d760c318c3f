//===- DataStream.h - the DA 1.0 data and write-complete streams ----------===//
//
// This file declares the builders of the global-memory blocks that the DA 1.0
// IDataObject advise delivers, in the memory layout of a 32-bit or of a
// 64-bit server (see vexo/StreamLayout.h). Layout (offsets from the start of
// the block, every VARIANT 8-byte aligned from the start):
//
//   OPCGROUPHEADER        20 bytes; dwSize = total bytes of the block,
//                         hrStatus = S_OK when every item is good, else S_FALSE
//   item headers          dwItemCount x OPCITEMHEADER1 (20 bytes, with time stamp,
//                         "OPCSTMFORMATDATATIME") or OPCITEMHEADER2 (12 bytes,
//                         "OPCSTMFORMATDATA"), in item order
//   padding to 8
//   per item, at its dwValueOffset:
//     VARIANT             16 or 24 bytes: vt, then a scalar's value at 8 (a DECIMAL
//                         fills the first 16 bytes); every other byte is 0
//     VT_BSTR             DWORD byte count (terminator not counted), the UTF-16
//                         characters, a 2-byte zero
//     VT_ARRAY|x          the SAFEARRAY descriptor with one bound (24 or 32 bytes;
//                         pvData 0, cLocks 0), then cElements * cbElements bytes
//     VT_ARRAY|VT_BSTR    the descriptor (cbElements = pointer size), then per
//                         element: DWORD byte count, the characters, a 2-byte zero
//                         (no padding between elements)
//     VT_ARRAY|VT_VARIANT the descriptor (cbElements = VARIANT size), then per
//                         element its VARIANT and string as above (arrays in it
//                         go as VT_EMPTY)
//     padding to 8
//
// "OPCSTMFORMATWRITECOMPLETE": OPCGROUPHEADERWRITE (16 bytes) followed by
// dwItemCount x OPCITEMHEADERWRITE (8 bytes); no values, so one layout for
// every server.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/OPCDA.h>
#include <vexo/StreamLayout.h>
#include <vexo/platform/GlobalMemory.h>

#include "Delivery.h"

namespace vexo::sim {

/// A data stream of the batch in the layout; nullptr when out of memory.
/// Caller frees it.
HGLOBAL BuildDataStream(bool withTime, OPCHANDLE clientGroup, DWORD transactionId,
                        const ItemBatch &batch, const opc::StreamLayout &layout);
/// A write-complete stream of the batch's handles and errors. Caller frees it.
HGLOBAL BuildWriteCompleteStream(OPCHANDLE clientGroup, DWORD transactionId,
                                 const ItemBatch &batch);

} // namespace vexo::sim
