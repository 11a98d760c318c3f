//===- ConfigBench.cpp - saving and loading large configurations ---------===//
//
// BM_ConfigSave and BM_ConfigLoad: a server component with 100 groups of
// 1,000 items each written to a file and read back (not connected).
//
//===----------------------------------------------------------------------===//

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include <unistd.h>

#include <vexo/Vexo.h>

namespace {

constexpr int kGroups = 100;

std::unique_ptr<vexo::TVexoServer> MakeConfig(int ItemCount) {
    auto server = std::make_unique<vexo::TVexoServer>(nullptr);
    server->SetName("OPCServer1");
    server->SetServer("Vexo.Simulation.1");
    server->SetClientName("bench");
    const int perGroup = ItemCount / kGroups;
    for (int g = 0; g < kGroups; ++g) {
        vexo::TVexoGroup *group = server->OPCGroups()->Add("Group" + std::to_string(g));
        group->SetUpdateRate(500 + g);
        for (int i = 0; i < perGroup; ++i)
            group->OPCItems()->AddItem("Plant.Line" + std::to_string(g) + ".Tag" +
                                       std::to_string(i));
    }
    return server;
}

std::string BenchFile() {
    return "/tmp/vexo_bench_config_" + std::to_string(::getpid()) + ".txt";
}

void BM_ConfigSave(benchmark::State &State) {
    auto server = MakeConfig(static_cast<int>(State.range(0)));
    const std::string file = BenchFile();
    for (auto _ : State)
        server->SaveToFile(file);
    State.SetItemsProcessed(State.iterations() * State.range(0));
    std::remove(file.c_str());
}
BENCHMARK(BM_ConfigSave)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ConfigLoad(benchmark::State &State) {
    const std::string file = BenchFile();
    MakeConfig(static_cast<int>(State.range(0)))->SaveToFile(file);
    auto server = std::make_unique<vexo::TVexoServer>(nullptr);
    for (auto _ : State)
        server->LoadFromFile(file);
    State.SetItemsProcessed(State.iterations() * State.range(0));
    std::remove(file.c_str());
}
BENCHMARK(BM_ConfigLoad)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
