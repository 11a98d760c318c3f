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

} // namespace vexo::test
