//===- Da10StreamBench.cpp - reading DA 1.0 data stream blocks ------------===//
//
// BM_Da10Stream/N/Kind/Bits: the reader of one DA 1.0 data-with-time block of
// N items, laid out as a Bits-bit server writes it, into values; Kind 0 is
// 32-bit integers only, 1 every fourth value a 12-character string (the
// reader then has to find out the layout). The values are cleared inside the
// loop, as the sink does once it stored them.
//
//===----------------------------------------------------------------------===//

#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>

#include <vexo/OPCDA.h>
#include <vexo/StreamLayout.h>
#include <vexo/client/VexoSinks.h>

namespace {

using vexo::opc::StreamLayout;

void Put(std::vector<BYTE> &Out, const void *P, std::size_t N) {
    const auto *B = static_cast<const BYTE *>(P);
    Out.insert(Out.end(), B, B + N);
}

/// A block of N items, each value 8-byte aligned.
std::vector<BYTE> MakeBlock(int N, bool Strings, const StreamLayout &L) {
    const std::size_t Head = (sizeof(OPCGROUPHEADER) + N * sizeof(OPCITEMHEADER1) + 7) & ~7u;
    std::vector<BYTE> Out(Head, 0);
    const WCHAR Text[] = {'S', 'i', 'm', 'u', 'l', 'a', 't', 'i', 'o', 'n', '.', 'X'};
    for (int I = 0; I < N; ++I) {
        OPCITEMHEADER1 H{static_cast<OPCHANDLE>(I), static_cast<DWORD>(Out.size()), 0xC0, 0,
                         FILETIME{1, 2}};
        std::memcpy(Out.data() + sizeof(OPCGROUPHEADER) + I * sizeof H, &H, sizeof H);
        std::vector<BYTE> Value(L.Variant, 0);
        const bool IsString = Strings && I % 4 == 0;
        const VARTYPE Vt = IsString ? VT_BSTR : VT_I4;
        std::memcpy(Value.data(), &Vt, sizeof Vt);
        std::memcpy(Value.data() + StreamLayout::ValueAt, &I, sizeof I);
        Put(Out, Value.data(), Value.size());
        if (IsString) {
            const DWORD Bytes = sizeof Text;
            Put(Out, &Bytes, sizeof Bytes);
            Put(Out, Text, sizeof Text);
            Out.push_back(0);
            Out.push_back(0);
        }
        Out.resize((Out.size() + 7) & ~std::size_t(7), 0);
    }
    const OPCGROUPHEADER G{static_cast<DWORD>(Out.size()), static_cast<DWORD>(N), 0, 0, S_OK};
    std::memcpy(Out.data(), &G, sizeof G);
    return Out;
}

void BM_Da10Stream(benchmark::State &State) {
    const int N = static_cast<int>(State.range(0));
    const StreamLayout &L =
        State.range(2) == 32 ? vexo::opc::StreamLayout32 : vexo::opc::StreamLayout64;
    const std::vector<BYTE> Block = MakeBlock(N, State.range(1) != 0, L);
    vexo::TVexoAdviseSink::StreamHeader Header{};
    std::vector<vexo::TVexoAdviseSink::StreamEntry> Entries;
    for (auto _ : State) {
        if (!vexo::TVexoAdviseSink::ParseStream(Block.data(), Block.size(), true, Header,
                                                Entries))
            State.SkipWithError("block refused");
        benchmark::DoNotOptimize(Entries.data());
        vexo::TVexoAdviseSink::ClearEntries(Entries);
    }
    State.SetItemsProcessed(State.iterations() * N);
}
BENCHMARK(BM_Da10Stream)
    ->Args({10000, 0, 64})
    ->Args({10000, 1, 64})
    ->Args({10000, 1, 32})
    ->Unit(benchmark::kMicrosecond);

} // namespace
