//===- FoundationBench.cpp - cost of the shared conversions ---------------===//
//
// FileTimeToDateTime runs once per item of every data callback, so it has to
// stay far below the cost of delivering the value (target: under 50 ns).
//
//===----------------------------------------------------------------------===//
#include <benchmark/benchmark.h>

#include <vexo/VexoErrors.h>
#include <vexo/foundation/Conversions.h>
#include <vexo/framework/DateUtils.h>
#include <vexo/platform/Time.h>

namespace {

void BM_FileTimeToDateTime(benchmark::State &State) {
    FILETIME Now;
    vexo::platform::GetSystemTimeAsFileTime(&Now);
    // Walk through time stamps 1.3 s apart, as a busy server would send them.
    unsigned long long Ticks =
        static_cast<unsigned long long>(Now.dwHighDateTime) << 32 | Now.dwLowDateTime;
    for (auto _ : State) {
        Ticks += 13'000'000;
        const FILETIME Ft{static_cast<DWORD>(Ticks), static_cast<DWORD>(Ticks >> 32)};
        benchmark::DoNotOptimize(vexo::FileTimeToDateTime(Ft));
    }
}
BENCHMARK(BM_FileTimeToDateTime);

// MS-DOS date and time words, as file dates arrive.
void BM_FileDateToDateTime(benchmark::State &State) {
    const int Packed = static_cast<int>((43u << 25) | (7u << 21) | (14u << 16) | (10u << 11) |
                                        (11u << 5) | 6u); // 2023-07-14 10:11:12
    int I = 0;
    for (auto _ : State)
        benchmark::DoNotOptimize(vexo::FileDateToDateTime(Packed + (++I & 1)));
}
BENCHMARK(BM_FileDateToDateTime);

void BM_GetOPCErrorMessage(benchmark::State &State) {
    for (auto _ : State)
        benchmark::DoNotOptimize(vexo::GetOPCErrorMessage(static_cast<HRESULT>(0xC0040007)));
}
BENCHMARK(BM_GetOPCErrorMessage);

void BM_VarToAStrArray(benchmark::State &State) {
    vexo::OleVariant A = vexo::VarArrayCreate(0, 15, VT_I4);
    for (int I = 0; I <= 15; ++I)
        vexo::VarArrayPut(A, I, vexo::OleVariant(I * 1000));
    for (auto _ : State)
        benchmark::DoNotOptimize(vexo::VarToAStr(A));
}
BENCHMARK(BM_VarToAStrArray);

} // namespace
