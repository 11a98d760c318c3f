//===- main.cpp - vexo-inspector, the inspector on a configuration file --===//
#include <iostream>
#include <string>
#include <vector>

#include <QApplication>

#include <vexo/Vexo.h>
#include <vexo/ui/QtServices.h>

#include "InspectorSession.h"

int main(int argc, char **argv) {
    QApplication App(argc, argv);
    QApplication::setApplicationName("vexo-inspector");
    vexo::ui::TQtServices Services; // message boxes, cursor, event delivery
    vexo::VexoInitSecurity();
    const QStringList QArgs = QApplication::arguments();
    std::vector<std::string> Args;
    for (qsizetype i = 1; i < QArgs.size(); ++i)
        Args.push_back(QArgs[i].toStdString());
    return vexo::inspector::RunVexoInspector(Args, std::cout, std::cerr);
}
