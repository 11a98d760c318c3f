//===- main.cpp - try the server selection dialog -------------------------===//
//
// Registers the simulation servers on this computer and on a second one,
// "plant-host", then opens "Select OPC Server". Search with the computer
// field empty, or type plant-host, or a name that does not exist.
//
//===----------------------------------------------------------------------===//
#include <cstdio>

#include <QApplication>

#include <vexo/VexoServerDlg.h>
#include <vexo/VexoSimulation.h>
#include <vexo/ui/QtServices.h>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Vexo server dialog");
    vexo::ui::TQtServices services;
    vexo::RegisterSimulationServers();
    vexo::RegisterSimulationServers("plant-host");

    std::string computer = argc > 1 ? argv[1] : "", progId, classId;
    const bool ok = vexo::vexoBrowseServer(computer, progId, classId);
    std::printf("result:    %s\ncomputer:  %s\nserver:    %s\nclass id:  %s\n",
                ok ? "OK" : "cancelled", computer.c_str(), progId.c_str(), classId.c_str());
    return ok ? 0 : 1;
}
