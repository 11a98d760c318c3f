//===- main.cpp - try the item browse dialog ------------------------------===//
//
// Connects to a simulation server (Vexo.Simulation.1, hierarchical, or the
// ProgID given, for example Vexo.Simulation.DA10.1 for the flat one) and
// opens "Open OPC Item" on its browser. Space, Backspace, double click and
// Open walk the levels; the chosen item ids are printed.
//
//===----------------------------------------------------------------------===//
#include <cstdio>

#include <QApplication>

#include <vexo/Vexo.h>
#include <vexo/VexoBrowseDlg.h>
#include <vexo/VexoSimulation.h>
#include <vexo/ui/QtServices.h>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Vexo browse dialog");
    vexo::ui::TQtServices services;
    vexo::RegisterSimulationServers();

    vexo::TVexoServer server(nullptr);
    server.SetServer(argc > 1 ? argv[1] : "Vexo.Simulation.1");
    try {
        server.SetActive(true);
    } catch (const vexo::Exception &e) {
        std::fprintf(stderr, "cannot connect: %s\n", e.Message().c_str());
        return 2;
    }
    vexo::TStringList ids;
    const bool ok = vexo::OPCBrowseDialog(server.Browser(), &ids, true);
    std::printf("result: %s\n", ok ? "OK" : "cancelled");
    for (int i = 0; i < ids.Count(); ++i)
        std::printf("  %s\n", ids.Get(i).c_str());
    return ok ? 0 : 1;
}
