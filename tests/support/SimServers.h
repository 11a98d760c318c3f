//===- SimServers.h - where a test program finds the simulation servers ---===//
#pragma once

#include <chrono>
#include <cstdlib>
#include <string_view>

#include <vexo/VexoSimulation.h>
#include <vexo/framework/Application.h>
#include <vexo/platform/TaskMemory.h>

namespace vexo::test {

/// Makes the simulation servers reachable on the local computer: their
/// classes registered in this process, unless the environment variable
/// VEXO_SIM_SERVERS is "registry", in which case the system's registry names
/// them (the in-process DLL or the local-server program, registered before
/// the run), and calls reach them as they reach any installed server.
inline void UseSimulationServers() {
    const char *where = std::getenv("VEXO_SIM_SERVERS");
    if (where && std::string_view(where) == "registry")
        return;
    vexo::RegisterSimulationServers();
}

/// Whether task-memory counts are compared exactly at the end of a test:
/// not where the environment variable VEXO_TASKMEM_EXACT is "0", as for calls
/// across processes under Wine, whose stubs keep a block of the [in] VARIANT
/// array of each callback they dispatch.
inline bool TaskMemExact() {
    const char *exact = std::getenv("VEXO_TASKMEM_EXACT");
    return !(exact && std::string_view(exact) == "0");
}

/// The live task-memory blocks once they are back to Expected, or after two
/// seconds. Messages are delivered meanwhile: across processes the runtime
/// frees what it kept for a proxy or stub only when the other side's release
/// reaches this thread, which may come after the last call returned.
inline long long TaskMemSettledAt(long long Expected) {
    Application->ProcessMessagesUntil(
        [Expected] { return platform::TaskMemLiveBlocks() == Expected; },
        std::chrono::seconds(2));
    return platform::TaskMemLiveBlocks();
}

} // namespace vexo::test
