//===- main.cpp - try the group edit dialog -------------------------------===//
//
// Connects to the simulation server, creates a group, reads its state back
// from the server and opens "Edit Group" on it. On OK the new settings are
// sent to the server and the state it then reports is printed. Numbers are
// shown and read in this user's locale.
//
//===----------------------------------------------------------------------===//
#include <cstdio>

#include <QApplication>

#include <vexo/Vexo.h>
#include <vexo/VexoGroupDlg.h>
#include <vexo/VexoSimulation.h>
#include <vexo/ui/QtServices.h>

namespace {
void Print(const char *Title, const vexo::tGroupStateRec &R) {
    std::printf("%s: name \"%s\", update rate %u ms, dead band %.2f, %s\n", Title, R.Name.c_str(),
                R.UpdateRate, static_cast<double>(R.DeadBand), R.IsActive ? "active" : "inactive");
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Vexo group dialog");
    vexo::ui::TQtServices services;
    vexo::RegisterSimulationServers();

    vexo::TVexoServer server(nullptr);
    server.SetServer("Vexo.Simulation.1");
    server.SetActive(true);
    vexo::TVexoGroup *group = server.OPCGroups()->Add("Tanks");
    group->SetDeadBand(1.25f);

    vexo::tGroupStateRec rec;
    group->GetState(rec);
    Print("before", rec);
    if (!vexo::OPCEditGroupDialog(rec)) {
        std::printf("cancelled\n");
        return 1;
    }
    try {
        group->SetName(rec.Name);
        group->SetUpdateRate(static_cast<std::int32_t>(rec.UpdateRate));
        group->SetDeadBand(rec.DeadBand);
        group->SetIsActive(rec.IsActive);
        group->GetState(rec);
    } catch (const vexo::Exception &e) {
        std::fprintf(stderr, "the server refused: %s\n", e.Message().c_str());
        return 2;
    }
    Print("after", rec);
    return 0;
}
