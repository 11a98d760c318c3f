//===- InspectorSession.cpp - vexo-inspector, one editing session --------===//
#include "InspectorSession.h"

#include <filesystem>

#include <QFileDialog>
#include <QMessageBox>

#include <vexo/Vexo.h>
#include <vexo/VexoPropEdit.h>
#include <vexo/VexoSimulation.h>
#include <vexo/framework/Streaming.h>
#include <vexo/framework/UIServices.h>

namespace vexo::inspector {

namespace {

constexpr const char *kUsage = "usage: vexo-inspector [configuration-file]\n"
                               "Opens the OPC Inspector on the file's server component (an empty\n"
                               "one when no file is given) and offers to save what changed.\n";

enum class TCloseChoice { Save, Discard, Cancel };

TCloseChoice AskSave(const std::string &FileName) {
    const QString Where =
        FileName.empty() ? QStringLiteral("a new file") : QString::fromStdString(FileName);
    const auto Answer = QMessageBox::question(
        nullptr, "vexo-inspector", "The configuration has changed. Save it to " + Where + "?",
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (Answer == QMessageBox::Save)
        return TCloseChoice::Save;
    if (Answer == QMessageBox::Discard)
        return TCloseChoice::Discard;
    return TCloseChoice::Cancel;
}

std::string AskFileName() {
    return QFileDialog::getSaveFileName(nullptr, "Save configuration", QString(),
                                        "Configurations (*.opc);;All files (*)", nullptr,
                                        QFileDialog::DontUseNativeDialog)
        .toStdString();
}

/// What would be saved; equal texts mean nothing changed.
std::string Snapshot(const TVexoServer &Server) { return WriteComponentText(Server); }

} // namespace

int RunVexoInspector(const std::vector<std::string> &Args, std::ostream &Out, std::ostream &Err) {
    if (Args.size() > 1 || (Args.size() == 1 && (Args[0] == "--help" || Args[0] == "-h"))) {
        (Args.size() == 1 ? Out : Err) << kUsage;
        return Args.size() == 1 ? 0 : 1;
    }
    RegisterSimulationServers();
    std::string FileName = Args.empty() ? "" : Args[0];
    TVexoServer Server(nullptr);
    std::error_code Ec;
    if (!FileName.empty() && std::filesystem::exists(FileName, Ec)) {
        try {
            Server.LoadFromFile(FileName);
        } catch (const std::exception &E) {
            Err << "vexo-inspector: " << FileName << ": " << E.what() << "\n";
            return 1;
        }
    }
    const std::string Before = Snapshot(Server);
    for (;;) {
        OPCExplorer(&Server);
        if (Snapshot(Server) == Before)
            return 0;
        const TCloseChoice Choice = AskSave(FileName);
        if (Choice == TCloseChoice::Discard)
            return 0;
        if (Choice == TCloseChoice::Cancel)
            continue;
        std::string Target = FileName.empty() ? AskFileName() : FileName;
        if (Target.empty())
            continue; // no name chosen: back to the inspector, nothing lost
        try {
            Server.SaveToFile(Target);
            return 0;
        } catch (const std::exception &E) {
            // Nothing is lost: the window opens again on the same component.
            ShowMessage(E.what());
        }
    }
}

} // namespace vexo::inspector
