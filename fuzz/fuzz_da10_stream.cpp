//===- fuzz_da10_stream.cpp - fuzz target of the DA 1.0 stream reader ----===//
//
// Feeds arbitrary blocks to the reader of DA 1.0 data streams in both
// formats. The first byte picks the format; the rest is the block. The
// reader must never read outside the block nor follow a pointer in it, and
// whatever it returns must be releasable without leaks.
//
//===----------------------------------------------------------------------===//

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <vexo/client/VexoSinks.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    if (Size == 0)
        return 0;
    const bool WithTime = (Data[0] & 1) != 0;
    // A copy of exactly the block's size, so that reading one byte past its
    // end is caught by the address sanitizer.
    const std::size_t BlockSize = Size - 1;
    std::unique_ptr<BYTE[]> Block(new BYTE[BlockSize ? BlockSize : 1]);
    if (BlockSize)
        std::memcpy(Block.get(), Data + 1, BlockSize);

    vexo::TVexoAdviseSink::StreamHeader Header{};
    std::vector<vexo::TVexoAdviseSink::StreamEntry> Entries;
    const bool Ok =
        vexo::TVexoAdviseSink::ParseStream(Block.get(), BlockSize, WithTime, Header, Entries);
    if (!Ok && !Entries.empty())
        __builtin_trap(); // a refused block must hand back nothing
    if (Ok && SUCCEEDED(Header.Status) && Entries.size() != Header.ItemCount)
        __builtin_trap();
    vexo::TVexoAdviseSink::ClearEntries(Entries);

    // The same bytes as a write-complete block.
    std::vector<vexo::TVexoAdviseSink::WriteEntry> Writes;
    if (vexo::TVexoAdviseSink::ParseWriteStream(Block.get(), BlockSize, Header, Writes) &&
        Writes.size() != Header.ItemCount)
        __builtin_trap();
    return 0;
}
