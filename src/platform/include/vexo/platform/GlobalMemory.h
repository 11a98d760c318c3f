//===- GlobalMemory.h - global memory handles and clipboard formats ------===//
//
// This file declares the global-memory handles that carry DA 1.0 data streams
// (with lock counts and sizes) and the clipboard-format registry that gives
// the stream formats their ids.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/platform/ComInterfaces.h>

#ifndef _WIN32
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
#endif

namespace vexo::platform {

#ifdef _WIN32
using ::GlobalLock;
using ::GlobalSize;
using ::GlobalUnlock;
using ::RegisterClipboardFormatA;
// Allocation, freeing and media go through the library so that the blocks
// of this process are counted (GlobalLiveBlocks).
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
HGLOBAL GlobalFree(HGLOBAL hMem);
void ReleaseStgMedium(STGMEDIUM *pmedium);
#else
/// Allocates a block of dwBytes; nullptr on failure. Thread-safe.
HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
/// Frees a block; returns nullptr on success, hMem when it is not a valid handle.
HGLOBAL GlobalFree(HGLOBAL hMem);
/// Locks the block and returns its memory (nullptr for an invalid handle).
void *GlobalLock(HGLOBAL hMem);
/// Unlocks; TRUE while still locked, FALSE when the count reaches 0.
BOOL GlobalUnlock(HGLOBAL hMem);
/// Size of the block in bytes; 0 for an invalid handle.
SIZE_T GlobalSize(HGLOBAL hMem);
/// Releases the medium's storage (GlobalFree for TYMED_HGLOBAL) unless
/// pUnkForRelease is set, in which case that is released instead.
void ReleaseStgMedium(STGMEDIUM *pmedium);

/// Registers a clipboard format name; the same name (case-insensitive) always
/// gets the same id, in the range 0xC000..0xFFFF. 0 for an empty name.
UINT RegisterClipboardFormatA(LPCSTR lpszFormat);
#endif // _WIN32

/// Current lock count of the block.
UINT GlobalLockCount(HGLOBAL hMem);
/// Number of blocks allocated through GlobalAlloc and not yet freed.
long long GlobalLiveBlocks();

} // namespace vexo::platform
