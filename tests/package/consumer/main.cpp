//===- main.cpp - reads one simulation item through the installed package --===//
#include <cstdio>
#include <exception>

#include <vexo/Vexo.h>
#include <vexo/VexoSimulation.h>

int main() {
    try {
        vexo::RegisterSimulationServers();
        vexo::TVexoServer Server(nullptr);
        vexo::TVexoGroup *Group = Server.OPCGroups()->Add("Package");
        vexo::TVexoItem *Item = Group->OPCItems()->AddItem("Simulation.Constant.Int4");
        Server.Connect("Vexo.Simulation.1", "");
        if (!Group->SyncRead(nullptr, false))
            return 1;
        std::printf("%s = %s\n", Item->ItemID().c_str(), Item->ValueStr().c_str());
        return Item->ValueStr() == "42" ? 0 : 1;
    } catch (const std::exception &E) {
        std::fprintf(stderr, "failed: %s\n", E.what());
        return 1;
    }
}
