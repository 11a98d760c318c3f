//===- fuzz_da10_stream.cpp - DA 1.0 streams, from the block to the text -===//
//
// Feeds arbitrary blocks to the reader of DA 1.0 data streams in both
// formats, then delivers the same block through a connected group's advise
// sink: handles resolved, values stored into the items, the list posted and
// drained, and every listed item's value, time stamp and error rendered as
// text the way an application shows them. The first byte picks the format;
// the rest is the block. Nothing may read outside the block, follow a
// pointer in it, crash, leak, or raise out of the sink or the texts.
//
//===----------------------------------------------------------------------===//

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>
#include <vexo/client/VexoSinks.h>
#include <vexo/framework/Application.h>
#include <vexo/framework/DateUtils.h>
#include <vexo/framework/UIServices.h>
#include <vexo/platform/GlobalMemory.h>

namespace {

/// A component connected to the DA 1.0 simulation server (no scans), whose
/// one group receives data through the advise sink. Its items' client
/// handles are 0x400000 + index, which the seeds use.
struct Receiver {
    std::unique_ptr<vexo::TVexoServer> Server;
    vexo::TVexoGroup *Group = nullptr;

    Receiver() {
        vexo::TUIServices Quiet;
        Quiet.ShowMessage = [](const std::string &) {};
        Quiet.Beep = [] {};
        Quiet.SetBusyCursor = [](bool) {};
        Quiet.ProcessPendingMessages = [] {};
        vexo::SetUIServices(std::move(Quiet));
        vexo::RegisterSimulationServers();
        Server = std::make_unique<vexo::TVexoServer>(nullptr);
        Group = Server->OPCGroups()->Add("Fuzz");
        for (const char *Id : {"Simulation.Bucket.Int4", "Simulation.Bucket.String",
                               "Simulation.Bucket.Real8Array", "Simulation.Bucket.Time",
                               "Simulation.Bucket.Money", "Simulation.Bucket.Boolean"})
            Group->OPCItems()->AddItem(Id);
        Server->Connect("Vexo.Simulation.DA10.1", "");
        if (auto Control = Server->GetOPCServer().As<IVexoSimControl>()) {
            Control->SetManualMode(TRUE);
            Control->EnableCallLog(FALSE);
        }
        Server->OnDatachange = [](vexo::TObject *, vexo::TVexoItemList *List) {
            for (int I = 0; I < List->Count(); ++I) {
                const vexo::TVexoItem *Item = List->GetItem(I);
                const vexo::TVexoItemValue V = Item->Snapshot();
                std::string Text = vexo::VarToAStr(V.Value);
                Text += Item->ValueStr();
                Text += vexo::DateTimeToStr(V.TimeStamp);
                Text += Item->GetLastErrorStr();
                Text += Item->IsGoodQuality() ? "good" : "bad";
                if (Text.size() == static_cast<std::size_t>(-1))
                    __builtin_trap();
            }
        };
        vexo::Application->ProcessMessages();
        if (!Group->AdviseSink())
            __builtin_trap(); // the target would test nothing
    }
};

void Deliver(const std::uint8_t *Block, std::size_t Size, bool WithTime) {
    static Receiver R;
    HGLOBAL Memory = vexo::platform::GlobalAlloc(GHND, Size ? Size : 1);
    if (!Memory)
        return;
    if (Size)
        std::memcpy(vexo::platform::GlobalLock(Memory), Block, Size);
    vexo::platform::GlobalUnlock(Memory);
    FORMATETC Format{};
    Format.cfFormat = static_cast<CLIPFORMAT>(
        (WithTime ? vexo::OPCSTMFORMATDATATIME : vexo::OPCSTMFORMATDATA) & 0xFFFF);
    Format.dwAspect = DVASPECT_CONTENT;
    Format.lindex = -1;
    Format.tymed = TYMED_HGLOBAL;
    STGMEDIUM Medium{};
    Medium.tymed = TYMED_HGLOBAL;
    Medium.hGlobal = Memory;
    R.Group->AdviseSink()->OnDataChange(&Format, &Medium);
    vexo::Application->ProcessMessages();
    vexo::platform::GlobalFree(Memory);
}

} // namespace

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

    Deliver(Block.get(), BlockSize, WithTime);
    return 0;
}
