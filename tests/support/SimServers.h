//===- SimServers.h - where a test program finds the simulation servers ---===//
#pragma once

#include <cstdlib>
#include <string_view>

#include <vexo/VexoSimulation.h>

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

} // namespace vexo::test
